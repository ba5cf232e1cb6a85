#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace dorvel {

// An alarm that wakes a suspended machine after a relative number of seconds. It may be
// re-armed any number of times.
class WakeAlarm {
public:
    virtual ~WakeAlarm() = default;
    virtual bool arm(qint32 seconds) = 0;
    // Cancels an armed alarm, so that it cannot wake the machine later.
    virtual void disarm() = 0;
};

using WakeAlarmFactory = std::function<std::unique_ptr<WakeAlarm>()>;

inline const QString kRtcWakeAlarmPath = QStringLiteral("/sys/class/rtc/rtc0/wakealarm");

// A CLOCK_REALTIME_ALARM timerfd; needs CAP_WAKE_ALARM. Nothing when it cannot be created.
std::unique_ptr<WakeAlarm> createTimerfdWakeAlarm(QString* reason = nullptr);

// The RTC's wakealarm file: "0" clears it, "+N" arms it N seconds ahead. Relative, so an RTC
// kept in local time does not shift the moment. Nothing when the file is not writable.
std::unique_ptr<WakeAlarm> createRtcWakeAlarm(const QString& path, QString* reason = nullptr);

// The timerfd where the process may use it, otherwise the RTC file.
std::unique_ptr<WakeAlarm> createSystemWakeAlarm(const QString& rtcPath = kRtcWakeAlarmPath);

// Why no wake alarm can be armed; empty when one can. Creates nothing that lasts.
QString wakeAlarmUnavailableReason(const QString& rtcPath = kRtcWakeAlarmPath);

// Writes "0" and then "+seconds" to an RTC wakealarm file, each with its own open and write.
bool writeRtcWakeAlarm(const QString& path, qint64 seconds, QString* error = nullptr);
// Writes "0": the RTC forgets its alarm.
bool clearRtcWakeAlarm(const QString& path, QString* error = nullptr);

} // namespace dorvel
