#include "menuactions.h"

#include "appstate.h"
#include "datetime.h"
#include "mainview.h"
#include "prompter.h"
#include "settings.h"
#include "todolist.h"

namespace dorvel {

QString MenuActions::goTimerQuestion() const
{
    const QString when = formatDefault(m_todo.nextEventTime);
    if (m_state.settings.language == QStringLiteral("eng"))
        return QStringLiteral("The PC will power off now and wake up for the next recording at ") +
               when + QStringLiteral(".\nContinue?");
    return QStringLiteral("Der PC wird jetzt ausgeschaltet und zur nächsten Aufnahme um ") + when +
           QStringLiteral(" wieder eingeschaltet.\nFortfahren?");
}

void MenuActions::goTimer()
{
    if (m_state.settings.ruleMinutes < 12 || !m_state.wakeToolPresent)
        return;
    // With nothing to record the command only says so; there is nothing to confirm.
    if (m_todo.recordingCount > 0) {
        const auto answer = m_prompter.show(
            {goTimerQuestion(), Prompter::Buttons::OkCancel, Prompter::Icon::Question, {}, false});
        if (answer != Prompter::Answer::Ok) {
            m_view.setGoTimerChecked(m_state.wakeToolMode);
            return;
        }
    }
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
