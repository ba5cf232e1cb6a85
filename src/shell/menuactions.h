#pragma once

#include <QString>

#include <functional>

namespace dorvel {

struct AppState;
class MainView;
class Prompter;
class SettingsStore;
class TodoList;

// The tray menu's two shutdown items.
class MenuActions {
public:
    MenuActions(AppState& state, SettingsStore& store, MainView& view, Prompter& prompter,
                const TodoList& todo, std::function<void()> wakeToolCommand)
        : m_state(state), m_store(store), m_view(view), m_prompter(prompter), m_todo(todo),
          m_wakeToolCommand(std::move(wakeToolCommand))
    {}

    // mPopGoTimer: switch to the ITime rule and hand over to the wake-tool command, but only
    // with the wake-up tool present and at least 12 ITime minutes, and only after the user
    // has agreed to the power-off: one stray click must not switch the PC off.
    void goTimer();
    // mPopNoShutDown: never shut down after recordings.
    void noShutDown();

    // The question before the hand-over to the wake-up tool.
    QString goTimerQuestion() const;

private:
    AppState& m_state;
    SettingsStore& m_store;
    MainView& m_view;
    Prompter& m_prompter;
    const TodoList& m_todo;
    std::function<void()> m_wakeToolCommand;
};

} // namespace dorvel
