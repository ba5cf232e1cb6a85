#pragma once

#include <functional>

namespace dorvel {

struct AppState;
class Prompter;
class TodoList;
class ViewerDatabase;

// DeleteSelected, the "Del. Select" command: deletes a range of to-do rows from the viewer
// database and the list after a confirmation, then loads the list again.
//
// Rules of this implementation where the plain loop would lose or keep the wrong entries:
// - The rows are taken as entries when the question is asked; the scheduler keeps running
//   while it is open, and an entry it starts meanwhile is neither deleted twice nor replaced
//   by its neighbour. A viewer that it started meanwhile refuses the delete as before.
// - A row that cannot be deleted is skipped; the other rows are still deleted, and one
//   message after the reload names every skipped entry. When the database refuses (locked,
//   read-only), the rest is not tried: each try would wait for the busy timeout.
// - No box is shown between the first delete and the reload, so that no tick sees the list
//   with rows removed but its next event still pointing at the old row number.
class DeleteSelection {
public:
    struct Services {
        AppState& state;
        TodoList& todo;
        ViewerDatabase& db;
        Prompter& prompter;
        std::function<void()> reload; // GetRecordings
    };
    enum class Outcome { NothingSelected, Refused, Cancelled, Done };
    struct Result {
        Outcome outcome = Outcome::NothingSelected;
        int deleted = 0;
        int skipped = 0;
    };

    explicit DeleteSelection(Services services);

    // The range of to-do rows first..last, in either order; rows outside the list are ignored.
    Result deleteSelected(int first, int last);

private:
    bool recordingForUs() const;
    bool english() const;

    Services m;
};

} // namespace dorvel
