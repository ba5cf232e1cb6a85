#include "addrecordingcommand.h"

#include "appstate.h"
#include "mainview.h"
#include "prompter.h"

#include <QScopeGuard>

namespace dorvel {

AddRecordingCommand::AddRecordingCommand(const AppState& state, Prompter& prompter,
                                         const MainView& view, std::function<bool()> showForm,
                                         std::function<void()> getRecordings)
    : m_state(state), m_prompter(prompter), m_view(view), m_showForm(std::move(showForm)),
      m_getRecordings(std::move(getRecordings))
{}

void AddRecordingCommand::run()
{
    // One form at a time, also when a click reaches the button from a nested event loop.
    if (m_open)
        return;
    if (m_state.orbivuState == 1) {
        m_prompter.message(m_view.caption());
        return;
    }
    m_open = true;
    const auto closed = qScopeGuard([this] { m_open = false; });
    if (m_showForm())
        m_getRecordings();
}

} // namespace dorvel
