#pragma once

// The accessibility bus (AT-SPI) as a screen reader uses it: find a program's controls by role
// and name, read their state and press them. Needs a session bus and a display.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QString>

#include <optional>

namespace dorvel::test {

class AtSpi {
public:
    struct Node {
        QString bus;
        QString path;
    };

    // Connects to the accessibility bus that the session bus names; false without one.
    bool connect()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
            QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 10000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return false;
        m_bus = QDBusConnection::connectToBus(reply.arguments().constFirst().toString(),
                                              QStringLiteral("a11y"));
        return m_bus.isConnected();
    }

    // The root of the application with that name.
    std::optional<Node> application(const QString& name) const
    {
        const QStringList names = m_bus.interface()->registeredServiceNames().value();
        for (const QString& bus : names) {
            if (!bus.startsWith(QLatin1Char(':')))
                continue;
            const Node root{bus, QStringLiteral("/org/a11y/atspi/accessible/root")};
            if (this->name(root) == name)
                return root;
        }
        return std::nullopt;
    }

    QList<Node> children(const Node& n) const
    {
        QList<Node> out;
        const QDBusMessage reply =
            call(n, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetChildren"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return out;
        const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString bus;
            QDBusObjectPath path;
            arg.beginStructure();
            arg >> bus >> path;
            arg.endStructure();
            out.append({bus, path.path()});
        }
        arg.endArray();
        return out;
    }

    QString name(const Node& n) const
    {
        const QDBusMessage reply =
            call(n, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().constFirst().value<QDBusVariant>().variant().toString();
    }

    QString role(const Node& n) const
    {
        const QDBusMessage reply =
            call(n, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetRoleName"));
        return reply.arguments().isEmpty() ? QString() : reply.arguments().constFirst().toString();
    }

    // The states a screen reader sees; bit numbers as AT-SPI counts them.
    static constexpr int Checked = 4;
    static constexpr int Enabled = 8;
    bool hasState(const Node& n, int state) const
    {
        const QDBusMessage reply =
            call(n, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetState"));
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return false;
        const QList<uint> bits = qdbus_cast<QList<uint>>(reply.arguments().constFirst());
        return bits.size() > state / 32 && (bits[state / 32] >> (state % 32)) & 1;
    }

    // The first node below n (depth first) with that role and name.
    std::optional<Node> find(const Node& n, const QString& role, const QString& name) const
    {
        for (const Node& c : children(n)) {
            if (this->role(c) == role && this->name(c) == name)
                return c;
            if (auto hit = find(c, role, name))
                return hit;
        }
        return std::nullopt;
    }

    // Every name of the nodes below n with that role.
    QStringList names(const Node& n, const QString& role) const
    {
        QStringList out;
        for (const Node& c : children(n)) {
            if (this->role(c) == role)
                out << name(c);
            out << names(c, role);
        }
        return out;
    }

    // The first action: press for a button, toggle for an option. A disabled control has none.
    bool press(const Node& n) const
    {
        const QDBusMessage reply =
            call(n, QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("DoAction"), {0});
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
               reply.arguments().constFirst().toBool();
    }

private:
    QDBusMessage call(const Node& n, const QString& interface, const QString& method,
                      const QVariantList& args = {}) const
    {
        QDBusMessage m = QDBusMessage::createMethodCall(n.bus, n.path, interface, method);
        m.setArguments(args);
        return m_bus.call(m, QDBus::Block, 5000);
    }

    QDBusConnection m_bus{QString()};
};

} // namespace dorvel::test
