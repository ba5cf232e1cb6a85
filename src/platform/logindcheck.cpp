#include "logindcheck.h"

#include <QDBusArgument>
#include <QDBusMessage>

#include <unistd.h>

namespace dorvel {

namespace {

QDBusMessage managerCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                          QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"), method);
}

// The reply's first argument as a D-Bus array of structures, or nothing when it is not one.
QDBusArgument arrayOf(const QDBusMessage& reply, const char* signature)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
        reply.signature() != QLatin1String(signature))
        return {};
    return reply.arguments().first().value<QDBusArgument>();
}

} // namespace

LogindAnswer askLogind(const QDBusConnection& systemBus, const QString& method, int timeoutMs)
{
    LogindAnswer a{method, {}, {}};
    if (!systemBus.isConnected()) {
        a.error = QStringLiteral("no system bus (%1)").arg(systemBus.lastError().message());
        return a;
    }
    const QDBusMessage reply =
        QDBusConnection(systemBus).call(managerCall(method), QDBus::Block, timeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        a.error = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
    else if (reply.arguments().size() != 1 || reply.signature() != QLatin1String("s"))
        a.error = QStringLiteral("an answer that is not a word");
    else
        a.answer = reply.arguments().first().toString();
    return a;
}

QString describeLogindAnswer(const LogindAnswer& a, const QString& action)
{
    if (!a.error.isEmpty())
        return QStringLiteral("logind does not answer %1 (%2): is systemd-logind running?")
            .arg(a.method, a.error);
    if (a.answer == QLatin1String("yes"))
        return QStringLiteral("logind may %1 without asking (%2 = yes)").arg(action, a.method);
    if (a.answer == QLatin1String("challenge"))
        return QStringLiteral("logind would ask for a password to %1 (%2 = challenge), and nobody "
                              "is there to type it")
            .arg(action, a.method);
    if (a.answer == QLatin1String("na"))
        return QStringLiteral("this PC cannot %1 at all (%2 = na)").arg(action, a.method);
    return QStringLiteral("logind refuses to %1 for this user (%2 = %3)")
        .arg(action, a.method, a.answer);
}

QStringList logindObstacles(const QDBusConnection& systemBus, const QString& what, int timeoutMs)
{
    QStringList out;
    if (!systemBus.isConnected())
        return out;
    QDBusConnection bus(systemBus);
    const uint me = ::getuid();

    // ListSessions: a(susso) id, uid, user, seat, path.
    const QDBusArgument sessions = arrayOf(
        bus.call(managerCall(QStringLiteral("ListSessions")), QDBus::Block, timeoutMs), "a(susso)");
    if (sessions.currentType() == QDBusArgument::ArrayType) {
        QStringList users;
        sessions.beginArray();
        while (!sessions.atEnd()) {
            QString id, user, seat;
            uint uid = 0;
            QDBusObjectPath path;
            sessions.beginStructure();
            sessions >> id >> uid >> user >> seat >> path;
            sessions.endStructure();
            if (uid != me && uid != 0 && !users.contains(user))
                users.append(user);
        }
        sessions.endArray();
        for (const QString& user : std::as_const(users))
            out.append(QStringLiteral("user %1 is logged in too").arg(user));
    }

    // ListInhibitors: a(ssssuu) what, who, why, mode, uid, pid.
    const QDBusArgument inhibitors =
        arrayOf(bus.call(managerCall(QStringLiteral("ListInhibitors")), QDBus::Block, timeoutMs),
                "a(ssssuu)");
    if (inhibitors.currentType() == QDBusArgument::ArrayType) {
        inhibitors.beginArray();
        while (!inhibitors.atEnd()) {
            QString whatList, who, why, mode;
            uint uid = 0, pid = 0;
            inhibitors.beginStructure();
            inhibitors >> whatList >> who >> why >> mode >> uid >> pid;
            inhibitors.endStructure();
            if (mode == QLatin1String("block") && whatList.split(QLatin1Char(':')).contains(what))
                out.append(QStringLiteral("\"%1\" blocks it (%2)").arg(who, why));
        }
        inhibitors.endArray();
    }
    return out;
}

} // namespace dorvel
