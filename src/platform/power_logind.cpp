#include "power_logind.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

namespace dorvel {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage managerCall(const QString& method)
{
    return QDBusMessage::createMethodCall(kService, kPath, kManager, method);
}

QString errorText(const QDBusError& e)
{
    if (!e.isValid())
        return QStringLiteral("no answer");
    return e.name() + QStringLiteral(": ") + e.message();
}

} // namespace

LogindPower::LogindPower(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                         Options options)
    : m_system(systemBus), m_session(sessionBus), m_options(std::move(options))
{}

LogindPower::LogindPower(const QDBusConnection& systemBus, const QDBusConnection& sessionBus)
    : LogindPower(systemBus, sessionBus, Options{})
{}

LogindPower::~LogindPower()
{
    setSystemRequired(false);
}

std::optional<PowerCheck> LogindPower::canDo(const QString& method)
{
    // "challenge" means polkit would ask the user; we never ask, so it counts as "no".
    const QDBusReply<QString> reply = m_system.call(managerCall(method));
    if (!reply.isValid())
        return PowerCheck{method, errorText(reply.error())};
    if (reply.value() != QStringLiteral("yes"))
        return PowerCheck{method, reply.value()};
    return std::nullopt;
}

QList<PowerCheck> LogindPower::failedChecks(PowerRequest request)
{
    QList<PowerCheck> failed;
    if (request == PowerRequest::PowerOff) {
        if (auto f = canDo(QStringLiteral("CanPowerOff")))
            failed.append(*f);
        return failed;
    }
    if (auto f = canDo(QStringLiteral("CanSuspend")))
        failed.append(*f);
    if (request == PowerRequest::TimedStandby && !m_wakeAlarm) {
        const QString reason = m_options.wakeAlarmCheck();
        if (!reason.isEmpty())
            failed.append(PowerCheck{QStringLiteral("WakeAlarm"), reason});
    }
    return failed;
}

void LogindPower::powerOff()
{
    // Blocking on purpose: the caller may end the process right after, and the request must
    // have left before that. The argument false: never ask the user for authorisation.
    QDBusMessage call = managerCall(QStringLiteral("PowerOff"));
    call << false;
    const QDBusMessage reply = m_system.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        m_lastError = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
        qWarning("PowerOff refused: %s", qPrintable(m_lastError));
    }
}

QString LogindPower::standbyWithWakeup(qint32 seconds)
{
    if (seconds <= 0)
        return powertext::BadTimeValue;
    if (!m_wakeAlarm)
        m_wakeAlarm = m_options.makeWakeAlarm();
    if (!m_wakeAlarm)
        return powertext::CreateTimerFail;
    if (!m_wakeAlarm->arm(seconds))
        return powertext::SetTimerFail;
    return suspendAndWaitForResume();
}

QString LogindPower::standbyUntilUser()
{
    // An alarm left from a timed standby the user ended early would wake the machine.
    if (m_wakeAlarm)
        m_wakeAlarm->disarm();
    m_wakeAlarm.reset();
    return suspendAndWaitForResume();
}

void LogindPower::onPrepareForSleep(bool start)
{
    if (start || !m_waitingForResume)
        return;
    m_resumed = true;
    if (m_onResume)
        m_onResume();
}

QString LogindPower::suspendAndWaitForResume()
{
    m_lastError.clear();
    if (!m_system.isConnected()) {
        m_lastError = errorText(m_system.lastError());
        qWarning("Suspend impossible: %s", qPrintable(m_lastError));
        return powertext::FailToSetPowerState;
    }
    // Listen before asking, so that a quick resume is not missed.
    m_system.connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                     SLOT(onPrepareForSleep(bool)));
    m_waitingForResume = true;
    m_resumed = false;

    QDBusMessage call = managerCall(QStringLiteral("Suspend"));
    call << false;
    QDBusPendingCallWatcher watcher(m_system.asyncCall(call));
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    bool timedOut = false;
    auto maybeQuit = [&] {
        if (watcher.isFinished() && (watcher.isError() || m_resumed))
            loop.quit();
    };
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, maybeQuit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    m_onResume = maybeQuit;
    timeout.start(m_options.resumeTimeoutMs);
    if (!(watcher.isFinished() && (watcher.isError() || m_resumed)))
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    m_waitingForResume = false;
    m_onResume = nullptr;
    m_system.disconnect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                        SLOT(onPrepareForSleep(bool)));

    if (watcher.isError()) {
        m_lastError = errorText(watcher.error());
        qWarning("Suspend refused: %s", qPrintable(m_lastError));
        return powertext::FailToSetPowerState;
    }
    if (timedOut || !m_resumed) {
        m_lastError =
            QStringLiteral("no resume signal within %1 s").arg(m_options.resumeTimeoutMs / 1000.0);
        qWarning("Suspend failed: %s", qPrintable(m_lastError));
        return powertext::FailToSetPowerState;
    }
    return powertext::Resumed;
}

void LogindPower::setSystemRequired(bool on)
{
    if (on == m_systemRequired)
        return;
    m_systemRequired = on;
    if (on) {
        // The lock lives as long as we hold the descriptor; logind drops it when it closes.
        QDBusMessage call = managerCall(QStringLiteral("Inhibit"));
        call << QStringLiteral("idle:sleep") << m_options.inhibitWho << m_options.inhibitWhy
             << QStringLiteral("block");
        const QDBusReply<QDBusUnixFileDescriptor> reply = m_system.call(call);
        if (reply.isValid())
            m_inhibitor = reply.value();
        else
            m_lastError = errorText(reply.error());

        if (m_session.isConnected()) {
            const QDBusReply<uint> cookie = m_session.call(
                QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver,
                                               QStringLiteral("Inhibit"))
                << m_options.inhibitWho << m_options.inhibitWhy);
            if (cookie.isValid())
                m_screenSaverCookie = cookie.value();
        }
        return;
    }
    m_inhibitor = QDBusUnixFileDescriptor();
    if (m_screenSaverCookie && m_session.isConnected()) {
        m_session.call(QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver,
                                                      QStringLiteral("UnInhibit"))
                       << *m_screenSaverCookie);
    }
    m_screenSaverCookie.reset();
}

} // namespace dorvel
