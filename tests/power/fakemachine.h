#pragma once

// A fake machine: files in a folder that stands for /sys, /dev and /etc, and the fake logind
// (fake_login1) and a fake notification service on the private session bus of
// dbus-run-session, so that nothing a test does can reach the machine's own services.

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace dorvel::test {

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Calls the fake logind; its own methods "Calls" and "Inhibitors" answer with a list.
inline QStringList login1(const QString& method, const QVariantList& args = {})
{
    QDBusMessage m =
        QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                       "org.freedesktop.login1.Manager", method);
    m.setArguments(args);
    return QDBusReply<QStringList>(QDBusConnection::sessionBus().call(m)).value();
}

// The fake logind, started afresh for every test so that no answer or call carries over.
class FakeLogin1 {
public:
    explicit FakeLogin1(const QString& program) : m_program(program) {}
    ~FakeLogin1()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    [[nodiscard]] bool restart()
    {
        m_process.kill();
        m_process.waitForFinished();
        if (!QTest::qWaitFor([] { return !registered(); }))
            return false;
        m_process.start(m_program, {});
        return QTest::qWaitFor([] { return registered(); }, 10000);
    }

private:
    static bool registered()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(
            "org.freedesktop.login1");
    }
    QString m_program;
    QProcess m_process;
};

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    // Serves on a connection of its own, as a desktop's notification daemon would.
    [[nodiscard]] bool serve()
    {
        QDBusConnection c = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake");
        return c.registerObject("/org/freedesktop/Notifications", this,
                                QDBusConnection::ExportAllSlots) &&
               c.registerService("org.freedesktop.Notifications");
    }
    QStringList seen; // "app|summary|body"
public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int)
    {
        seen << app + '|' + summary + '|' + body;
        return uint(seen.size());
    }
};

} // namespace dorvel::test
