#include "todoedit.h"

#include "activitylist.h"
#include "appstate.h"
#include "clock.h"
#include "datetext.h"
#include "datetime.h"
#include "mainview.h"
#include "prompter.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QScopeGuard>

namespace dorvel {

namespace {

QString recordColumn(int column)
{
    switch (column) {
    case TodoList::StartTime:
        return QStringLiteral("STARTTIME");
    case TodoList::EndTime:
        return QStringLiteral("ENDTIME");
    case TodoList::ShortDesc:
        return QStringLiteral("SHORTDESC");
    case TodoList::PreRecord:
        return QStringLiteral("PRERECORD");
    case TodoList::PostRecord:
        return QStringLiteral("POSTRECORD");
    default:
        return QString();
    }
}

} // namespace

TodoEdit::TodoEdit(Services services) : m(std::move(services)) {}

bool TodoEdit::isEditableHeader(const QString& header)
{
    static const QStringList kEditable{QStringLiteral("PRERECORD"), QStringLiteral("POSTRECORD"),
                                       QStringLiteral("SHORTDESC"), QStringLiteral("STARTTIME"),
                                       QStringLiteral("ENDTIME")};
    return kEditable.contains(header);
}

bool TodoEdit::recordingForUs() const
{
    // The task id is set when the scheduler starts the viewer, the state only by the next
    // tick's status check.
    return m.state.orbivuState == 1 || m.state.orbivuTaskId != 0;
}

bool TodoEdit::english() const
{
    return m.state.msg.MsgRecordingsEdited ==
           MessageTable::forLanguage(QStringLiteral("eng")).MsgRecordingsEdited;
}

std::optional<TodoEdit::Target> TodoEdit::open(int row, int column) const
{
    if (m.state.orbivuState != 0 || recordingForUs())
        return std::nullopt;
    if (row < 1 || row >= m.todo.rows() || recordColumn(column).isEmpty() ||
        !isEditableHeader(m.todo.header(column)))
        return std::nullopt;
    return Target{TodoEntry::of(m.todo, row), column, m.todo.cell(row, column).trimmed()};
}

std::optional<QString> TodoEdit::checked(const Target& target, const QString& text)
{
    const MessageTable& msg = m.state.msg;
    switch (target.column) {
    case TodoList::StartTime:
    case TodoList::EndTime: {
        const std::optional<double> value = parseUserDateTime(text.trimmed());
        if (!value) {
            m.prompter.message(msg.MsgIllegalDateTime);
            return std::nullopt;
        }
        // The other end as the list shows it; an entry whose other end cannot be read is
        // being repaired and is not compared.
        const bool isStart = target.column == TodoList::StartTime;
        const std::optional<double> other =
            parseUserDateTime(isStart ? target.entry.endTime : target.entry.startTime);
        if (other && (isStart ? *value > *other : *value < *other)) {
            m.prompter.message(msg.MsgEndBeforeStart);
            return std::nullopt;
        }
        return FormatDbTime(*value);
    }
    case TodoList::PreRecord:
    case TodoList::PostRecord: {
        bool ok = false;
        const int minutes = text.trimmed().toInt(&ok);
        if (!ok || minutes < 0 || minutes > 59) {
            m.prompter.message(msg.MsgMinutesRange);
            return std::nullopt;
        }
        return QString::number(minutes);
    }
    case TodoList::ShortDesc:
        if (text.trimmed().isEmpty()) {
            m.prompter.message(msg.MsgTooShort);
            return std::nullopt;
        }
        return text;
    default:
        return std::nullopt;
    }
}

TodoEdit::Outcome TodoEdit::commit(const Target& target, const QString& text)
{
    if (text == target.text)
        return Outcome::Unchanged;
    m.state.gridEdited = true;
    if (recordingForUs()) {
        m.prompter.message(
            english() ? QStringLiteral("Orbivu is recording: the change was not saved.\n"
                                       "Please edit the entry again when the recording has "
                                       "ended.")
                      : QStringLiteral("Orbivu nimmt gerade auf: die Änderung wurde nicht "
                                       "gespeichert.\nBitte den Eintrag nach dem Ende der "
                                       "Aufnahme noch einmal ändern."));
        return Outcome::Refused;
    }
    const std::optional<QString> value = checked(target, text);
    if (!value)
        return Outcome::Refused;

    // UpdateRecord
    ViewerDatabase::UpdateResult result;
    {
        m.view.setWaitCursor(true);
        const auto cursor = qScopeGuard([this] { m.view.setWaitCursor(false); });
        const TodoEntry& e = target.entry;
        result = m.db.updateFirstRecord(e.dbStartTime, e.dbEndTime, e.shortDesc, e.longDesc,
                                        recordColumn(target.column), *value);
    }
    Outcome outcome = Outcome::Written;
    switch (result) {
    case ViewerDatabase::UpdateResult::Updated: {
        m.state.gridEdited = false;
        m.activity.append(formatDefault(m.clock.now()) + QStringLiteral(":   ") +
                          m.state.msg.MsgRecordingsEdited);
        if (const int row = target.entry.findIn(m.todo))
            m.todo.setCell(row, target.column, *value);
        break;
    }
    case ViewerDatabase::UpdateResult::NotFound:
        outcome = Outcome::NotFound;
        m.prompter.message(QStringLiteral("ERROR Record not found"));
        break;
    case ViewerDatabase::UpdateResult::KeptOld:
    case ViewerDatabase::UpdateResult::Failed:
        outcome = Outcome::Failed;
        m.prompter.message(QStringLiteral("ERROR writting to database\n\n") + m.db.lastError(),
                           Prompter::Icon::Warning);
        break;
    }
    // Whatever happened, the list shows what the database holds now.
    m.reload();
    return outcome;
}

} // namespace dorvel
