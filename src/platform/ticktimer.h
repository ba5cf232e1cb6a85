#pragma once

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <limits>

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

    // Told after every start: whoever stopped the tick (a load, a box, a standby) may have
    // changed the next event, so the wake at its launch time is armed afresh.
    void setStartListener(std::function<void()> listener) { m_startListener = std::move(listener); }

protected:
    void started()
    {
        if (m_startListener)
            m_startListener();
    }

private:
    std::function<void()> m_startListener;
};

class QtTickTimer final : public TickTimer {
public:
    explicit QtTickTimer(std::function<void()> onTick)
    {
        m_timer.setInterval(500);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(onTick));
    }
    void start() override
    {
        m_timer.start();
        started();
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    void setInterval(int ms) override { m_timer.setInterval(ms); }

private:
    QTimer m_timer;
};

// One wake of the scheduler at the next launch time, besides the tick: a due entry starts
// within milliseconds instead of waiting up to half a second. Tests use a fake and call the
// scheduler's wake themselves.
class WakeTimer {
public:
    virtual ~WakeTimer() = default;
    // Fires once, `ms` from now; replaces a wake still pending.
    virtual void wakeIn(qint64 ms) = 0;
    virtual void cancel() = 0;
};

class QtWakeTimer final : public WakeTimer {
public:
    explicit QtWakeTimer(std::function<void()> onWake)
    {
        m_timer.setSingleShot(true);
        // A coarse timer may fire up to 5% late: three seconds on a one-minute wait.
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, std::move(onWake));
    }
    void wakeIn(qint64 ms) override
    {
        m_timer.start(int(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
    }
    void cancel() override { m_timer.stop(); }

private:
    QTimer m_timer;
};

} // namespace dorvel
