#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace dorvel {

// The PC's real-time clock as the kernel shows it below a root folder: "/" on a real PC, a
// folder of plain files in tests. Only reads; arming is writeRtcWakeAlarm().

struct RtcAlarm {
    QString name;          // "rtc0"
    QString wakeAlarmPath; // <root>/sys/class/rtc/rtc0/wakealarm
};

// The RTC that wakes the PC: rtc0 when it has a wake alarm, else the first that has one.
// Nothing, with the reason in *problem, when there is none.
std::optional<RtcAlarm> findRtcAlarm(const QString& root, QString* problem);

// Empty when this user may write the file, else why not.
QString notWritableReason(const QString& path);

// How far ahead the RTC can hold an alarm. The driver says so once, at boot, in the kernel
// log; afterwards the kernel refuses an alarm beyond it.
enum class AlarmReach { Unknown, None, Day, Month, Year };
struct AlarmRange {
    AlarmReach reach = AlarmReach::Unknown;
    QString source; // the kernel's line, or why the range is unknown
};
// From <root>/dev/kmsg. Unknown where the log cannot be read (most PCs restrict it to root)
// or holds no such line any more.
AlarmRange rtcAlarmRange(const QString& root);
// "one day", "one month", "one year".
QString reachText(AlarmReach reach);
// The latest moment an alarm armed now may name; invalid when no limit is known.
QDateTime latestAlarm(AlarmReach reach, const QDateTime& now);

// After arming: whether the RTC holds an alarm for `wake`, within two minutes, in UTC or in
// local time (a PC that also runs another system may keep its RTC in local time). Reads
// wakealarm, else <root>/proc/driver/rtc. *seen says what was read, for the message.
bool alarmReadsBack(const QString& root, const RtcAlarm& rtc, const QDateTime& wake, QString* seen);

// The login name of this process's user.
QString currentUserName();

} // namespace dorvel
