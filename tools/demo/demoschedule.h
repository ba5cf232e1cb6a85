#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace dorvel::demo {

struct Channel {
    int number; // CHANNELNUM
    QString name;
    int nid;
    int sid;
    int sourceId;
};

// Wall-clock times as the viewer database stores them ("yyyy.MM.dd HH:mm", local time). They
// are held in QDateTimes of spec Qt::UTC used as plain calendar values, so that adding
// minutes moves the wall clock and the daylight-saving rules do not shift anything; whether
// a wall time exists locally is checked separately.
struct Entry {
    int channel; // CHANNELNUM
    QDateTime start;
    QDateTime end;
    int pre = 0;  // lead minutes
    int post = 0; // trail minutes
    QString title;
    QString longDesc;

    QDateTime recordingStart() const { return start.addSecs(-60LL * pre); }
    QDateTime recordingEnd() const { return end.addSecs(60LL * post); }
};

inline constexpr int kMaxEntries = 100000;
// Space between one recording's end and the next one's start: the scheduler calls a start
// less than a minute after the previous end an overlap; two minutes stay clear of it.
inline constexpr int kGapMinutes = 2;

QString formatDbTime(const QDateTime& wall);
// The wall-clock fields of a local date-time, as a plain calendar value.
QDateTime wallClock(const QDateTime& local);
// False for wall times skipped by a daylight-saving change (they never occur locally).
bool existsLocally(const QDateTime& wall);

QList<Channel> demoChannels();

// The standard demo: entries due within the next minutes, one later today, a daily series
// on the next five days. now is the wall clock; seconds are dropped.
QList<Entry> demoEntries(const QDateTime& now, const QList<Channel>& channels);
// count entries one after another, spread over the future from a few minutes after now.
QList<Entry> bulkEntries(const QDateTime& now, const QList<Channel>& channels, int count);

// Orders the entries by recording start and moves entries later where needed, so that every
// recording starts at least kGapMinutes after the previous one ends and no start or end
// falls into the hour skipped when the clocks go forward.
void settle(QList<Entry>& entries);

} // namespace dorvel::demo
