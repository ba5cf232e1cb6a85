// A stand-in for logind and the desktop's screensaver on a private dbus-run-session bus: it
// records calls as "Method|arg|arg", answers as the test tells it, never touches the machine.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

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
    } m;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Fake fake;
    // The screensaver's name first: the test waits for login1 and then expects both.
    const bool ok =
        bus.registerVirtualObject("/org/freedesktop", &fake, QDBusConnection::SubPath) &&
        bus.registerService("org.freedesktop.ScreenSaver") &&
        bus.registerService("org.freedesktop.login1");
    return ok ? app.exec() : 1;
}
