#include "menuactions.h"

#include "appstate.h"
#include "mainview.h"
#include "settings.h"

namespace dorvel {

void MenuActions::goTimer()
{
    if (m_state.settings.ruleMinutes < 12 || !m_state.wakeToolPresent)
        return;
    m_state.settings.shutDownType = QStringLiteral("Rule");
    ProgramSettings(m_store).save(keys::ShutDownType, m_state.settings.shutDownType);
    m_view.setNoShutDownEnabled(true);
    m_view.setGoTimerChecked(true);
    m_wakeToolCommand();
}

void MenuActions::noShutDown()
{
    m_state.settings.shutDownType = QStringLiteral("Never");
    ProgramSettings(m_store).save(keys::ShutDownType, m_state.settings.shutDownType);
    m_view.setNoShutDownEnabled(false);
    m_view.setGoTimerChecked(false);
    if (m_view.goTimerVisible())
        m_view.setGoTimerEnabled(true);
}

} // namespace dorvel
