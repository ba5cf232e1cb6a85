// A stand-in for systemd-logind (and the desktop's screensaver) on the session bus of a
// private dbus-run-session. It records every call, answers as the test tells it through
// /control, and never touches the machine.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

class Manager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList calls;
    QMap<QString, QString> answers;
    QString failing; // the method that answers with an error
    QString sleepMode = QStringLiteral("resume");
    QList<int> readEnds;

    bool fail(const QString& method)
    {
        if (failing != method)
            return false;
        sendErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                       QStringLiteral("Permission denied by the test"));
        return true;
    }
    void resume() { Q_EMIT PrepareForSleep(false); }

public Q_SLOTS:
    QString CanPowerOff()
    {
        calls.append(QStringLiteral("CanPowerOff"));
        fail(QStringLiteral("CanPowerOff"));
        return answers.value(QStringLiteral("CanPowerOff"), QStringLiteral("yes"));
    }
    QString CanSuspend()
    {
        calls.append(QStringLiteral("CanSuspend"));
        fail(QStringLiteral("CanSuspend"));
        return answers.value(QStringLiteral("CanSuspend"), QStringLiteral("yes"));
    }
    void PowerOff(bool interactive)
    {
        calls.append(QStringLiteral("PowerOff ") + (interactive ? "true" : "false"));
        fail(QStringLiteral("PowerOff"));
    }
    void Suspend(bool interactive)
    {
        calls.append(QStringLiteral("Suspend ") + (interactive ? "true" : "false"));
        if (fail(QStringLiteral("Suspend")))
            return;
        QTimer::singleShot(0, this, [this] {
            Q_EMIT PrepareForSleep(true);
            if (sleepMode == QStringLiteral("resume"))
                QTimer::singleShot(100, this, [this] { resume(); });
        });
    }
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        calls.append(
            QStringList{QStringLiteral("Inhibit"), what, who, why, mode}.join(QLatin1Char('|')));
        if (fail(QStringLiteral("Inhibit")))
            return {};
        // Like logind: the caller gets the write end of a pipe; the lock ends when it closes.
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return {};
        readEnds.append(fds[0]);
        QDBusUnixFileDescriptor fd(fds[1]); // dups
        ::close(fds[1]);
        return fd;
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
};

class ScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    explicit ScreenSaver(QStringList& calls) : m_calls(calls) {}
public Q_SLOTS:
    uint Inhibit(const QString& app, const QString& reason)
    {
        m_calls.append(QStringLiteral("ScreenSaver.Inhibit|") + app + QLatin1Char('|') + reason);
        return 42;
    }
    void UnInhibit(uint cookie)
    {
        m_calls.append(QStringLiteral("ScreenSaver.UnInhibit|%1").arg(cookie));
    }

private:
    QStringList& m_calls;
};

class Control : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "test.dorvel.Control")
public:
    explicit Control(Manager& m) : m_m(m) {}
public Q_SLOTS:
    void Reset()
    {
        m_m.calls.clear();
        m_m.answers.clear();
        m_m.failing.clear();
        m_m.sleepMode = QStringLiteral("resume");
        for (int fd : std::as_const(m_m.readEnds))
            ::close(fd);
        m_m.readEnds.clear();
    }
    void SetAnswer(const QString& method, const QString& answer)
    {
        m_m.answers.insert(method, answer);
    }
    void SetFailing(const QString& method) { m_m.failing = method; }
    // "resume": PrepareForSleep(false) follows by itself; "manual": only after Resume().
    void SetSleepMode(const QString& mode) { m_m.sleepMode = mode; }
    void Resume() { m_m.resume(); }
    QStringList Calls() const { return m_m.calls; }
    // For each inhibitor handed out: "held" while the caller keeps its end, else "released".
    QStringList Inhibitors() const
    {
        QStringList states;
        for (int fd : m_m.readEnds) {
            char c;
            const ssize_t n = ::read(fd, &c, 1);
            states.append(n == 0                       ? QStringLiteral("released")
                          : (n < 0 && errno == EAGAIN) ? QStringLiteral("held")
                                                       : QStringLiteral("error"));
        }
        return states;
    }
    void Quit() { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }

private:
    Manager& m_m;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return 1;
    Manager manager;
    ScreenSaver screenSaver(manager.calls);
    Control control(manager);
    const auto all = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, all) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &screenSaver, all) ||
        !bus.registerObject(QStringLiteral("/control"), &control, all))
        return 1;
    // The screensaver first: the test waits for login1 and then expects both.
    if (!bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1")))
        return 1;
    return app.exec();
}

#include "fake_login1.moc"
