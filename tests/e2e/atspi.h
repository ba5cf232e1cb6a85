#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QPoint>

#include <optional>

namespace dorvel::test {

// The accessibility bus (AT-SPI) as a screen reader uses it: a program's controls by role and name,
// their states, and their first action. Needs a session bus and a display.
class AtSpi {
public:
    struct Node {
        QString bus;
        QString path;
    };
    // The states a screen reader sees; bit numbers as AT-SPI counts them.
    static constexpr int Checked = 4;
    static constexpr int Enabled = 8;

    // Connects to the accessibility bus that the session bus names; false without one.
    bool connect()
    {
        const QVariant address =
            first(QDBusConnection::sessionBus(),
                  {QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")}, "org.a11y.Bus",
                  "GetAddress");
        m_bus = QDBusConnection::connectToBus(address.toString(), QStringLiteral("a11y"));
        return address.isValid() && m_bus.isConnected();
    }

    // The root of the application with that name.
    std::optional<Node> application(const QString& name) const
    {
        for (const QString& bus : m_bus.interface()->registeredServiceNames().value()) {
            const Node root{bus, QStringLiteral("/org/a11y/atspi/accessible/root")};
            if (bus.startsWith(QLatin1Char(':')) && this->name(root) == name)
                return root;
        }
        return std::nullopt;
    }

    QList<Node> children(const Node& n) const
    {
        QList<Node> out;
        const QVariant reply = first(m_bus, n, kAccessible, "GetChildren");
        if (reply.userType() != qMetaTypeId<QDBusArgument>())
            return out;
        const QDBusArgument arg = reply.value<QDBusArgument>();
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
        return first(m_bus, n, "org.freedesktop.DBus.Properties", "Get",
                     {QString::fromLatin1(kAccessible), QStringLiteral("Name")})
            .value<QDBusVariant>()
            .variant()
            .toString();
    }

    QString role(const Node& n) const
    {
        return first(m_bus, n, kAccessible, "GetRoleName").toString();
    }

    bool hasState(const Node& n, int state) const
    {
        const QVariant reply = first(m_bus, n, kAccessible, "GetState");
        const QList<uint> bits = reply.isValid() ? qdbus_cast<QList<uint>>(reply) : QList<uint>();
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

    // The middle of the node on the screen.
    QPoint center(const Node& n) const
    {
        const QVariant reply = first(m_bus, n, "org.a11y.atspi.Component", "GetExtents", {0u});
        int x = 0, y = 0, w = 0, h = 0;
        if (reply.userType() == qMetaTypeId<QDBusArgument>()) {
            const QDBusArgument arg = reply.value<QDBusArgument>();
            arg.beginStructure();
            arg >> x >> y >> w >> h;
            arg.endStructure();
        }
        return {x + w / 2, y + h / 2};
    }

    // Press for a button, toggle for an option. A disabled control has no action.
    bool press(const Node& n) const
    {
        return first(m_bus, n, "org.a11y.atspi.Action", "DoAction", {0}).toBool();
    }

private:
    static constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

    // The first value of the reply; invalid when the call failed.
    static QVariant first(const QDBusConnection& bus, const Node& n, const char* interface,
                          const char* method, const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(
            n.bus, n.path, QString::fromLatin1(interface), QString::fromLatin1(method));
        m.setArguments(args);
        const QDBusMessage reply = bus.call(m, QDBus::Block, 10000);
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
                   ? reply.arguments().constFirst()
                   : QVariant();
    }

    QDBusConnection m_bus{QString()};
};

} // namespace dorvel::test
