#include "power_wakealarm.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace dorvel {

namespace {

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

class TimerfdWakeAlarm final : public WakeAlarm {
public:
    explicit TimerfdWakeAlarm(int fd) : m_fd(fd) {}
    ~TimerfdWakeAlarm() override { ::close(m_fd); }
    TimerfdWakeAlarm(const TimerfdWakeAlarm&) = delete;
    TimerfdWakeAlarm& operator=(const TimerfdWakeAlarm&) = delete;

    bool arm(qint32 seconds) override
    {
        if (seconds <= 0)
            return false;
        itimerspec spec{};
        spec.it_value.tv_sec = seconds; // relative: flags 0
        return ::timerfd_settime(m_fd, 0, &spec, nullptr) == 0;
    }
    void disarm() override
    {
        const itimerspec none{};
        ::timerfd_settime(m_fd, 0, &none, nullptr);
    }

private:
    int m_fd;
};

bool writeText(const QString& path, const QByteArray& text, QString* error);

class RtcWakeAlarm final : public WakeAlarm {
public:
    explicit RtcWakeAlarm(QString path) : m_path(std::move(path)) {}
    bool arm(qint32 seconds) override { return seconds > 0 && writeRtcWakeAlarm(m_path, seconds); }
    // The RTC keeps its alarm after the file is closed, unlike a timerfd; it must be cleared.
    void disarm() override { clearRtcWakeAlarm(m_path); }

private:
    QString m_path;
};

bool writeText(const QString& path, const QByteArray& text, QString* error)
{
    // Sysfs wants one write per value; Unbuffered keeps it that way.
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    if (f.write(text) != text.size()) {
        if (error)
            *error = f.errorString();
        return false;
    }
    return true;
}

} // namespace

bool writeRtcWakeAlarm(const QString& path, qint64 seconds, QString* error)
{
    // The kernel refuses a new alarm while one is set; "0" clears it first.
    return clearRtcWakeAlarm(path, error) &&
           writeText(path, "+" + QByteArray::number(seconds), error);
}

bool clearRtcWakeAlarm(const QString& path, QString* error)
{
    return writeText(path, QByteArrayLiteral("0"), error);
}

std::unique_ptr<WakeAlarm> createTimerfdWakeAlarm(QString* reason)
{
    const int fd = ::timerfd_create(CLOCK_REALTIME_ALARM, TFD_CLOEXEC);
    if (fd < 0) {
        if (reason)
            *reason = errnoText(errno);
        return nullptr;
    }
    return std::make_unique<TimerfdWakeAlarm>(fd);
}

std::unique_ptr<WakeAlarm> createRtcWakeAlarm(const QString& path, QString* reason)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) != 0) {
        if (reason)
            *reason = errnoText(errno);
        return nullptr;
    }
    return std::make_unique<RtcWakeAlarm>(path);
}

std::unique_ptr<WakeAlarm> createSystemWakeAlarm(const QString& rtcPath)
{
    if (auto alarm = createTimerfdWakeAlarm())
        return alarm;
    return createRtcWakeAlarm(rtcPath);
}

QString wakeAlarmUnavailableReason(const QString& rtcPath)
{
    QString timerReason;
    QString rtcReason;
    if (createTimerfdWakeAlarm(&timerReason) || createRtcWakeAlarm(rtcPath, &rtcReason))
        return {};
    return QStringLiteral("no CAP_WAKE_ALARM (%1) and %2 not writable (%3)")
        .arg(timerReason, rtcPath, rtcReason);
}

} // namespace dorvel
