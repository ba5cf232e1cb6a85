#include "demoschedule.h"

#include <algorithm>

namespace dorvel::demo {

namespace {

QDateTime minutesLater(const QDateTime& t, qint64 minutes)
{
    return t.addSecs(60 * minutes);
}

QDateTime at(const QDate& day, int hour, int minute)
{
    return QDateTime(day, QTime(hour, minute), Qt::UTC);
}

} // namespace

QString formatDbTime(const QDateTime& wall)
{
    return wall.toString(QStringLiteral("yyyy.MM.dd HH:mm"));
}

QDateTime wallClock(const QDateTime& local)
{
    const QDateTime l = local.toLocalTime();
    return QDateTime(l.date(), l.time(), Qt::UTC);
}

bool existsLocally(const QDateTime& wall)
{
    const QDateTime local(wall.date(), wall.time(), Qt::LocalTime);
    return local.isValid() && local.date() == wall.date() && local.time() == wall.time();
}

QList<Channel> demoChannels()
{
    return {
        {1, QStringLiteral("Das Erste HD"), 1, 10301, 192},
        {2, QStringLiteral("ZDF"), 1079, 11110, 192},
        {3, QStringLiteral("Bayerisches Fernsehen Süd"), 1, 10325, 192},
        {4, QStringLiteral("Deutsche Welle"), 1, 10351, 192},
        {5, QStringLiteral("Kid's TV"), 1079, 11160, 192},
        {6, QStringLiteral("3sat"), 1079, 11150, 192},
        {7, QStringLiteral("arte"), 1, 10302, 192},
        {8, QStringLiteral("Nordlicht Kultur"), 1, 10377, 130},
        {9, QStringLiteral("Wetter & Verkehr"), 133, 61, 130},
        {10, QStringLiteral("Münchner Stadtfernsehen"), 1, 12003, 192},
        {12, QStringLiteral("Radio Köln"), 1, 28475, 192},
        {15, QStringLiteral("Euronews"), 133, 17, 130},
    };
}

QList<Entry> demoEntries(const QDateTime& now, const QList<Channel>& channels)
{
    auto channel = [&channels](int index) { return channels.at(index % channels.size()).number; };
    const QDateTime base(now.date(), QTime(now.time().hour(), now.time().minute()), Qt::UTC);
    QList<Entry> entries;

    // Due within minutes, so that a demo shows a recording start soon after dorvel starts.
    entries.append({channel(0), minutesLater(base, 3), minutesLater(base, 5), 1, 1,
                    QStringLiteral("Nachrichten kompakt"),
                    QStringLiteral("Die Meldungen des Tages")});
    entries.append({channel(1), minutesLater(base, 9), minutesLater(base, 11), 1, 1,
                    QStringLiteral("Der \"große\" Preis"),
                    QStringLiteral("Quiz mit \"Wim\" und Gästen")});
    entries.append({channel(4), minutesLater(base, 15), minutesLater(base, 17), 1, 1,
                    QStringLiteral("Kid's Corner: Folge 1/2"), QStringLiteral("Trickfilm")});

    // Later today: on the next quarter hour at least 100 minutes from now.
    QDateTime later = minutesLater(base, 100);
    later = minutesLater(later, (15 - later.time().minute() % 15) % 15);
    entries.append({channel(2), later, minutesLater(later, 45), 2, 3,
                    QStringLiteral("Grüße aus der Rhön"),
                    QStringLiteral("Reportage über \"Land & Leute\"")});

    // An early programme tomorrow and a daily series on the next five days.
    entries.append({channel(3), at(base.date().addDays(1), 6, 30), at(base.date().addDays(1), 7, 0),
                    0, 0, QStringLiteral("Frühstücksfernsehen"), QString()});
    for (int day = 1; day <= 5; ++day) {
        const QDate d = base.date().addDays(day);
        entries.append({channel(1), at(d, 20, 15), at(d, 21, 0), 2, 5,
                        QStringLiteral("Küchenduell: Jörg's Rezepte"),
                        QStringLiteral("Folge %1 von 5").arg(day)});
    }
    settle(entries);
    return entries;
}

QList<Entry> bulkEntries(const QDateTime& now, const QList<Channel>& channels, int count)
{
    static const QStringList titles = {
        QStringLiteral("Sendung %1"),           QStringLiteral("Nachrichten %1"),
        QStringLiteral("Film: \"Der Weg %1\""), QStringLiteral("Kid's Show %1"),
        QStringLiteral("Grüße aus Köln %1"),    QStringLiteral("Dokumentation: Teil %1/2"),
    };
    QList<Entry> entries;
    entries.reserve(count);
    QDateTime cursor = minutesLater(
        QDateTime(now.date(), QTime(now.time().hour(), now.time().minute()), Qt::UTC), 3);
    for (int i = 0; i < count; ++i) {
        Entry e;
        e.channel = channels.at(i % channels.size()).number;
        e.pre = i % 3;
        e.post = (i * 7) % 4;
        e.start = minutesLater(cursor, e.pre);
        e.end = minutesLater(e.start, 10 + (i * 37) % 111);
        e.title = titles.at(i % titles.size()).arg(i + 1);
        e.longDesc = QStringLiteral("Eintrag %1").arg(i + 1);
        cursor = minutesLater(e.recordingEnd(), kGapMinutes + (i * 13) % 30);
        entries.append(std::move(e));
    }
    settle(entries);
    return entries;
}

void settle(QList<Entry>& entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.recordingStart() < b.recordingStart();
    });
    QDateTime previousEnd;
    for (Entry& e : entries) {
        if (previousEnd.isValid()) {
            const QDateTime earliest = minutesLater(previousEnd, kGapMinutes);
            if (e.recordingStart() < earliest) {
                const qint64 shift = e.recordingStart().secsTo(earliest);
                e.start = e.start.addSecs(shift);
                e.end = e.end.addSecs(shift);
            }
        }
        // A skipped hour lasts one hour; a few tries are plenty even where rules are odd.
        for (int tries = 0; tries < 48 && !(existsLocally(e.start) && existsLocally(e.end));
             ++tries) {
            e.start = minutesLater(e.start, 60);
            e.end = minutesLater(e.end, 60);
        }
        previousEnd = e.recordingEnd();
    }
}

} // namespace dorvel::demo
