#pragma once

#include "power.h"

#include <QString>

namespace dorvel {

class Prompter;

// The power operations as the rest of the program uses them: each first checks what the
// request relies on and shows one box per failed check ("<check> error==<reason>"), then
// attempts the operation all the same.
class PowerOps {
public:
    PowerOps(Power& power, Prompter& prompter) : m_power(power), m_prompter(prompter) {}

    void enableShutdownPrivilege(PowerRequest request);
    // Returns at once; whether the program then ends is the caller's decision.
    void powerOff();
    // powertext::Resumed after waking, or a failure text (not shown here).
    QString standbyWithWakeup(qint32 seconds);
    // Shows "Fail to set power state" itself when the standby failed.
    void standbyUntilUser();
    // Holds the stay-awake lock while standby mode lasts. Cheap to call on every tick: the
    // lock is taken once and released when the mode ends.
    void signalSystemRequired(bool standbyMode) { m_power.setSystemRequired(standbyMode); }
    void closeWakeTimer() { m_power.closeWakeTimer(); }

    Power& backend() { return m_power; }

private:
    Power& m_power;
    Prompter& m_prompter;
};

} // namespace dorvel
