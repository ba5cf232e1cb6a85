#include "linux_notifier.h"

#include <QDBusMessage>
#include <QVariantMap>

namespace dorvel {

void DBusNotifier::notify(const QString& summary, const QString& body)
{
    if (!m_bus)
        m_bus = QDBusConnection::sessionBus();
    if (!m_bus->isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Body text is markup for some servers: plain text must stay plain.
    QString plain = body.toHtmlEscaped();
    call << QStringLiteral("Dorvel") << uint(0) << QStringLiteral("dialog-warning") << summary
         << plain << QStringList()
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}} << int(-1);
    m_bus->send(call);
}

} // namespace dorvel
