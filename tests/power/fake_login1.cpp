// A stand-in for logind and the desktop's screensaver on a private dbus-run-session bus: it
// records calls as "Method|arg|arg", answers as the test tells it, never touches the machine.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

// ListSessions' a(susso) and ListInhibitors' a(ssssuu), filled from "user" and "who|why".
struct Session {
    QString id, user;
    uint uid = 0;
};
struct Inhibitor {
    QString who, why;
};
Q_DECLARE_METATYPE(Session)
Q_DECLARE_METATYPE(Inhibitor)
QDBusArgument& operator<<(QDBusArgument& a, const Session& s)
{
    a.beginStructure();
    a << s.id << s.uid << s.user << QStringLiteral("seat0")
      << QDBusObjectPath("/org/freedesktop/login1/session/_3" + s.id);
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, Session&)
{
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const Inhibitor& i)
{
    a.beginStructure();
    a << QStringLiteral("shutdown:sleep") << i.who << i.why << QStringLiteral("block") << 0u << 1u;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, Inhibitor&)
{
    return a;
}

class Fake : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& bus) override
    {
        const bool screenSaver = msg.interface() == "org.freedesktop.ScreenSaver";
        const QString name = (screenSaver ? "ScreenSaver." : "") + msg.member();
        const QVariantList in = msg.arguments();
        QVariantList out;
        if (name == "SetAnswer") {
            m.answers[in[0].toString()] = in[1].toString();
        } else if (name == "SetFailing") {
            m.failing = in[0].toString();
        } else if (name == "SetSessions") {
            m.sessions.clear();
            for (const QString& user : in[0].toStringList())
                m.sessions.append(
                    {QString::number(m.sessions.size() + 2), user, uint(2000 + m.sessions.size())});
        } else if (name == "SetInhibitors") {
            m.inhibitors.clear();
            for (const QString& i : in[0].toStringList())
                m.inhibitors.append({i.section('|', 0, 0), i.section('|', 1)});
        } else if (name == "ListSessions") {
            out = {QVariant::fromValue(m.sessions)};
        } else if (name == "ListInhibitors") {
            out = {QVariant::fromValue(m.inhibitors)};
        } else if (name == "SetAutoResume") {
            m.autoResume = in[0].toBool();
        } else if (name == "Resume") {
            sleeping(bus, false);
        } else if (name == "Calls") {
            out = {m.calls};
        } else if (name == "Inhibitors") {
            // "held" while the caller keeps its end of the pipe, else "released".
            QStringList states;
            for (int fd : std::as_const(m.readEnds)) {
                char c;
                states.append(::read(fd, &c, 1) == 0 ? "released" : "held");
            }
            out = {states};
        } else {
            QStringList call{name};
            for (const QVariant& v : in)
                call.append(v.toString());
            m.calls.append(call.join('|'));
            if (name == m.failing)
                return bus.send(msg.createErrorReply("org.freedesktop.DBus.Error.AccessDenied",
                                                     "Permission denied by the test"));
            if (name.startsWith("Can"))
                out = {m.answers.value(name, "yes")};
            if (name == "ScreenSaver.Inhibit")
                out = {42u};
            if (name == "Suspend") {
                QTimer::singleShot(0, [this, bus] { sleeping(bus, true); });
                if (m.autoResume)
                    QTimer::singleShot(100, [this, bus] { sleeping(bus, false); });
            }
            if (name == "Inhibit") {
                // Like logind: the write end of a pipe; the lock ends when it is closed.
                int fds[2];
                if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
                    return false;
                m.readEnds.append(fds[0]);
                out = {QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))}; // dups
                ::close(fds[1]);
            }
        }
        return bus.send(msg.createReply(out));
    }

private:
    void sleeping(QDBusConnection bus, bool start)
    {
        bus.send(QDBusMessage::createSignal("/org/freedesktop/login1",
                                            "org.freedesktop.login1.Manager", "PrepareForSleep")
                 << start);
    }

    struct { // a fresh fake for every test
        QStringList calls;
        QMap<QString, QString> answers;
        QString failing; // the method that answers with an error
        bool autoResume = true;
        QList<int> readEnds;
        QList<Session> sessions;
        QList<Inhibitor> inhibitors;
    } m;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<Session>();
    qDBusRegisterMetaType<QList<Session>>();
    qDBusRegisterMetaType<Inhibitor>();
    qDBusRegisterMetaType<QList<Inhibitor>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Fake fake;
    // The screensaver's name first: the test waits for login1 and then expects both.
    const bool ok =
        bus.registerVirtualObject("/org/freedesktop", &fake, QDBusConnection::SubPath) &&
        bus.registerService("org.freedesktop.ScreenSaver") &&
        bus.registerService("org.freedesktop.login1");
    return ok ? app.exec() : 1;
}
