#pragma once

#include "power.h"
#include "power_wakealarm.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace dorvel {

// Power through systemd-logind: PowerOff, Suspend, the idle/sleep inhibitor, plus the
// desktop session's screensaver inhibit. The connections are injected: the system bus in
// production, the session bus of a private dbus-run-session in tests.
class LogindPower final : public QObject, public Power {
    Q_OBJECT
public:
    struct Options {
        WakeAlarmFactory makeWakeAlarm = [] { return createSystemWakeAlarm(); };
        // Empty when a wake alarm can be armed, else the reason.
        std::function<QString()> wakeAlarmCheck = [] { return wakeAlarmUnavailableReason(); };
        // How long to wait for the resume signal, in time the machine is awake (the monotonic
        // clock stands still while it sleeps). Past it the standby counts as failed.
        int resumeTimeoutMs = 120000;
        QString inhibitWho = QStringLiteral("Dorvel");
        QString inhibitWhy = QStringLiteral("Recording, or standby between recordings");
    };

    LogindPower(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                Options options);
    LogindPower(const QDBusConnection& systemBus, const QDBusConnection& sessionBus);
    ~LogindPower() override;

    QList<PowerCheck> failedChecks(PowerRequest request) override;
    void powerOff() override;
    QString standbyWithWakeup(qint32 seconds) override;
    QString standbyUntilUser() override;
    void setSystemRequired(bool on) override;
    bool systemRequired() const override { return m_systemRequired; }
    void closeWakeTimer() override { m_wakeAlarm.reset(); }

    // The D-Bus error of the last failed request, for diagnostics.
    QString lastError() const { return m_lastError; }

private Q_SLOTS:
    void onPrepareForSleep(bool start);

private:
    QString suspendAndWaitForResume();
    std::optional<PowerCheck> canDo(const QString& method);

    QDBusConnection m_system;
    QDBusConnection m_session;
    Options m_options;
    std::unique_ptr<WakeAlarm> m_wakeAlarm;
    bool m_systemRequired = false;
    QDBusUnixFileDescriptor m_inhibitor;
    std::optional<uint> m_screenSaverCookie;
    bool m_waitingForResume = false;
    bool m_resumed = false;
    std::function<void()> m_onResume;
    QString m_lastError;
};

} // namespace dorvel
