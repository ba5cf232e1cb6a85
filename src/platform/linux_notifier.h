#pragma once

#include "notifier.h"

#include <QDBusConnection>

namespace dorvel {

// org.freedesktop.Notifications on the session bus. The call is sent without waiting for
// the reply, so a missing or slow notification service never holds up the caller.
class DBusNotifier final : public Notifier {
public:
    explicit DBusNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}
    void notify(const QString& summary, const QString& body) override;

private:
    QDBusConnection m_bus;
};

} // namespace dorvel
