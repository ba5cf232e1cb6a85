#pragma once

#include <functional>

namespace dorvel {

struct AppState;
class MainView;
class Prompter;

// The "Add Recording" button. While the scheduler's own viewer records, a box with the
// window's caption says so and nothing else happens. Otherwise the form is shown modally and,
// when it has written rows, the to-do list is reloaded.
//
// The scheduler tick is left running while the form is open: a form left open must never
// cost a recording. An entry it starts meanwhile leaves the list as usual; the reload after
// the form shows the new rows.
class AddRecordingCommand {
public:
    // showForm shows the form modally and returns RecordsAdded.
    AddRecordingCommand(const AppState& state, Prompter& prompter, const MainView& view,
                        std::function<bool()> showForm, std::function<void()> getRecordings);
    void run();

private:
    const AppState& m_state;
    Prompter& m_prompter;
    const MainView& m_view;
    std::function<bool()> m_showForm;
    std::function<void()> m_getRecordings;
    bool m_open = false;
};

} // namespace dorvel
