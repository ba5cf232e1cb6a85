#pragma once

#include <QString>

namespace dorvel {

// Desktop notifications: a failure the user should learn about even when the window is
// minimised or nobody watches the activity list. Never blocks and never fails loudly: a
// desktop without a notification service simply shows nothing.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void notify(const QString& summary, const QString& body) = 0;
};

// For runs that must not reach the desktop.
class NullNotifier final : public Notifier {
public:
    void notify(const QString&, const QString&) override {}
};

} // namespace dorvel
