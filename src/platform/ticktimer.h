#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace dorvel {

// The scheduler's 500 ms timer. Logic switches it on and off; tests use a fake and call the
// tick themselves.
class TickTimer {
public:
    virtual ~TickTimer() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    virtual void setInterval(int ms) = 0;
};

class QtTickTimer final : public TickTimer {
public:
    explicit QtTickTimer(std::function<void()> onTick)
    {
        m_timer.setInterval(500);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(onTick));
    }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }

private:
    QTimer m_timer;
};

} // namespace dorvel
