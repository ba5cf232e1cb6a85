#pragma once

#include "power.h"

#include <QString>

#include <functional>

namespace dorvel {

class Prompter;

// The power operations as the rest of the program uses them: each first checks what the
// request relies on and shows one box per failed check ("<check> error==<reason>"), then
// attempts the operation all the same.
class PowerOps {
public:
    PowerOps(Power& power, Prompter& prompter) : m_power(power), m_prompter(prompter) {}

    // Where the boxes go instead of a waiting box, e.g. while nobody may be at the machine.
    void setBoxRoute(std::function<void(const QString&)> route) { m_boxRoute = std::move(route); }

    void enableShutdownPrivilege(PowerRequest request);
    // Returns at once; whether the program then ends is the caller's decision.
    void powerOff();
    // powertext::Resumed after waking, or a failure text (not shown here).
    QString standbyWithWakeup(qint32 seconds);
    // Shows "Fail to set power state" itself when the standby failed.
    void standbyUntilUser();
    // The stay-awake lock (the idle inhibitor and the screensaver inhibit) is held while
    // standby mode lasts and while a recording the scheduler started runs, so that the
    // desktop's own idle suspend never cuts a recording short. Cheap to call on every tick:
    // the lock is taken once and released when neither reason is left.
    void signalSystemRequired(bool standbyMode)
    {
        m_standbyHold = standbyMode;
        applyHold();
    }
    void holdAwakeForRecording(bool recording)
    {
        m_recordingHold = recording;
        applyHold();
    }
    void closeWakeTimer() { m_power.closeWakeTimer(); }

    Power& backend() { return m_power; }

private:
    void box(const QString& text);
    void applyHold() { m_power.setSystemRequired(m_standbyHold || m_recordingHold); }

    Power& m_power;
    Prompter& m_prompter;
    std::function<void(const QString&)> m_boxRoute;
    bool m_standbyHold = false;
    bool m_recordingHold = false;
};

} // namespace dorvel
