#pragma once

#include "notifier.h"

#include <QDBusConnection>

#include <optional>

namespace dorvel {

// org.freedesktop.Notifications on the session bus. The call is sent without waiting for
// the reply, so a missing or slow notification service never holds up the caller.
class DBusNotifier final : public Notifier {
public:
    // The session bus, reached at the first notification: connecting costs a thread and a
    // round trip that start-up need not wait for.
    DBusNotifier() = default;
    explicit DBusNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}
    void notify(const QString& summary, const QString& body) override;

private:
    std::optional<QDBusConnection> m_bus;
};

} // namespace dorvel
