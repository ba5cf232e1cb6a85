#include "power_simulated.h"

namespace dorvel {

void SimulatedPower::powerOff()
{
    report(QStringLiteral("   Simulated power: power-off requested (nothing done)"));
}

QString SimulatedPower::standbyWithWakeup(qint32 seconds)
{
    if (seconds <= 0)
        return powertext::BadTimeValue;
    report(QStringLiteral("   Simulated power: standby with wake-up after %1 s (nothing done)")
               .arg(seconds));
    return powertext::Resumed;
}

QString SimulatedPower::standbyUntilUser()
{
    report(
        QStringLiteral("   Simulated power: standby until the user wakes the PC (nothing done)"));
    return powertext::Resumed;
}

void SimulatedPower::setSystemRequired(bool on)
{
    if (on == m_systemRequired)
        return;
    m_systemRequired = on;
    report(on ? QStringLiteral("   Simulated power: stay-awake lock taken")
              : QStringLiteral("   Simulated power: stay-awake lock released"));
}

} // namespace dorvel
