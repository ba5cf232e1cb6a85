#pragma once

#include <QString>

namespace dorvel {

class TodoList;

// One to-do row as the database knows it, taken when the user starts to act on it. The
// scheduler keeps running while an edit box or a question is open and may remove rows
// meanwhile, so a row number taken then may name another entry later.
struct TodoEntry {
    QString num, channel, startTime, endTime, shortDesc, longDesc, dbStartTime, dbEndTime;

    static TodoEntry of(const TodoList& list, int row);
    // Whether the row holds this entry: same channel, stored times and descriptions.
    bool isAt(const TodoList& list, int row) const;
    // The first row that holds this entry, passing over `skip` rows that hold it too; 0 when
    // there is none (started meanwhile).
    int findIn(const TodoList& list, int skip = 0) const;
    // Channel, start and title on one line, for messages.
    QString describe() const;

    bool operator==(const TodoEntry&) const = default;
};

} // namespace dorvel
