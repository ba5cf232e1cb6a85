#pragma once

#include <functional>

namespace dorvel {

struct AppState;
class MainView;
class SettingsStore;

// The tray menu's two shutdown items.
class MenuActions {
public:
    MenuActions(AppState& state, SettingsStore& store, MainView& view,
                std::function<void()> wakeToolCommand)
        : m_state(state), m_store(store), m_view(view),
          m_wakeToolCommand(std::move(wakeToolCommand))
    {}

    // mPopGoTimer: switch to the ITime rule and hand over to the wake-tool command, but only
    // with the wake-up tool present and at least 12 ITime minutes.
    void goTimer();
    // mPopNoShutDown: never shut down after recordings.
    void noShutDown();

private:
    AppState& m_state;
    SettingsStore& m_store;
    MainView& m_view;
    std::function<void()> m_wakeToolCommand;
};

} // namespace dorvel
