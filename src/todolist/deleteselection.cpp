#include "deleteselection.h"

#include "appstate.h"
#include "prompter.h"
#include "todoentry.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QList>
#include <QStringList>

#include <algorithm>

namespace dorvel {

DeleteSelection::DeleteSelection(Services services) : m(std::move(services)) {}

bool DeleteSelection::recordingForUs() const
{
    // The task id is set when the scheduler starts the viewer, the state only by the next
    // tick's status check.
    return m.state.orbivuState == 1 || m.state.orbivuTaskId != 0;
}

bool DeleteSelection::english() const
{
    return m.state.msg.MsgConfirmDelete ==
           MessageTable::forLanguage(QStringLiteral("eng")).MsgConfirmDelete;
}

DeleteSelection::Result DeleteSelection::deleteSelected(int first, int last)
{
    Result result;
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 1);
    last = std::min(last, m.todo.rows() - 1);
    if (first > last)
        return result;

    const MessageTable& msg = m.state.msg;
    if (recordingForUs()) {
        m.prompter.message(msg.MsgNoDeleteWhileRunning);
        result.outcome = Outcome::Refused;
        return result;
    }
    QList<TodoEntry> entries;
    for (int r = first; r <= last; ++r)
        entries.append(TodoEntry::of(m.todo, r));

    if (m.prompter.show(Prompter::Box{msg.MsgConfirmDelete, Prompter::Buttons::OkCancel,
                                      Prompter::Icon::None, QString(), false}) !=
        Prompter::Answer::Ok) {
        result.outcome = Outcome::Cancelled;
        return result;
    }
    // Ticks ran while the question was open.
    if (recordingForUs()) {
        m.prompter.message(msg.MsgNoDeleteWhileRunning);
        result.outcome = Outcome::Refused;
        return result;
    }

    result.outcome = Outcome::Done;
    QStringList skipped;
    QList<TodoEntry> kept; // skipped entries: their rows are still in the list
    bool refused = false;
    for (const TodoEntry& e : std::as_const(entries)) {
        // Gone from the list: the scheduler has started it and taken it out of the database.
        const int row = e.findIn(m.todo, int(kept.count(e)));
        if (row == 0)
            continue;
        if (refused) {
            kept << e;
            skipped << e.describe() + (english()
                                           ? QStringLiteral(": not tried, the database refused the "
                                                            "one before")
                                           : QStringLiteral(": nicht versucht, die Datenbank "
                                                            "verweigerte den vorigen"));
            continue;
        }
        if (m.db.takeFirstRecord(e.dbStartTime, e.dbEndTime, e.shortDesc, e.longDesc)) {
            m.todo.removeRow(row);
            ++result.deleted;
            continue;
        }
        kept << e;
        skipped << e.describe() + QStringLiteral(": ") + m.db.lastError();
        if (!m.db.lastFoundNothing())
            refused = true;
    }
    result.skipped = int(skipped.size());

    m.reload();

    if (!skipped.isEmpty()) {
        const QString head =
            english() ? QStringLiteral("ERROR: %n recording(s) could not be deleted:")
                      : QStringLiteral("FEHLER: %n Aufnahme(n) konnten nicht gelöscht werden:");
        QString text = QString(head).replace(QStringLiteral("%n"), QString::number(skipped.size()));
        for (const QString& line : std::as_const(skipped))
            text += QStringLiteral("\n") + line;
        m.prompter.message(text, Prompter::Icon::Warning);
    }
    return result;
}

} // namespace dorvel
