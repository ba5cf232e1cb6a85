#pragma once

#include "todoentry.h"

#include <QString>

#include <functional>
#include <optional>

namespace dorvel {

struct AppState;
class ActivityList;
class Clock;
class MainView;
class Prompter;
class TodoList;
class ViewerDatabase;

// The in-place editor of the to-do list without its widget: which cells may be edited, and
// the commit that checks the text, writes it to the entry's RECORD row and reloads the list.
//
// Rules of this implementation where the plain write-back would lose or corrupt data:
// - The entry is the one under the edit box when it opened, found in the database by its
//   stored times and descriptions, never by its row number: the scheduler may start and
//   remove rows while the box is open.
// - Lead and trail minutes are whole numbers 0 to 59 and a title holds more than blanks;
//   anything else is refused with a message and nothing is written.
// - A text equal to the one the box opened with writes nothing, also after a refused edit.
// - "Recordings edited" is noted only when the database took the change.
// - While the viewer records for us the list cannot be reloaded, so the change is refused
//   with a message instead of leaving a list behind that no longer matches the database.
class TodoEdit {
public:
    struct Services {
        AppState& state;
        TodoList& todo;
        ActivityList& activity;
        ViewerDatabase& db;
        Prompter& prompter;
        MainView& view;
        const Clock& clock;
        std::function<void()> reload; // GetRecordings
    };
    // What the edit box works on.
    struct Target {
        TodoEntry entry;
        int column = 0;
        QString text; // the cell's text, trimmed, as the box opened with it
    };
    enum class Outcome { Unchanged, Refused, Written, NotFound, Failed };

    explicit TodoEdit(Services services);

    // The five columns that can be edited, by their header texts.
    static bool isEditableHeader(const QString& header);

    // The opening rule: a target when the cell may be edited now (no viewer running, an
    // editable column of a data row), nothing otherwise.
    std::optional<Target> open(int row, int column) const;

    // GridCommit with UpdateRecord: checks the text, writes it, notes it and reloads.
    Outcome commit(const Target& target, const QString& text);

private:
    bool recordingForUs() const;
    bool english() const;
    // The text as it goes into the database; nothing (after a message) when it is refused.
    std::optional<QString> checked(const Target& target, const QString& text);

    Services m;
};

} // namespace dorvel
