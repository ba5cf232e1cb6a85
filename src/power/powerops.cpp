#include "powerops.h"

#include "prompter.h"

namespace dorvel {

void PowerOps::box(const QString& text)
{
    if (m_boxRoute)
        m_boxRoute(text);
    else
        m_prompter.message(text);
}

void PowerOps::enableShutdownPrivilege(PowerRequest request)
{
    for (const PowerCheck& failed : m_power.failedChecks(request))
        box(failed.name + QStringLiteral(" error==") + failed.reason);
}

void PowerOps::powerOff()
{
    enableShutdownPrivilege(PowerRequest::PowerOff);
    m_power.powerOff();
}

QString PowerOps::standbyWithWakeup(qint32 seconds)
{
    enableShutdownPrivilege(PowerRequest::TimedStandby);
    // A count that is not positive would wake at once or never; nothing is armed for it.
    if (seconds <= 0)
        return powertext::BadTimeValue;
    return m_power.standbyWithWakeup(seconds);
}

void PowerOps::standbyUntilUser()
{
    enableShutdownPrivilege(PowerRequest::Standby);
    if (m_power.standbyUntilUser() != powertext::Resumed)
        box(powertext::FailToSetPowerState);
}

} // namespace dorvel
