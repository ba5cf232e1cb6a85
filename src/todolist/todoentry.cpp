#include "todoentry.h"

#include "todolist.h"

namespace dorvel {

TodoEntry TodoEntry::of(const TodoList& list, int row)
{
    return TodoEntry{list.cell(row, TodoList::Num),         list.cell(row, TodoList::Channel),
                     list.cell(row, TodoList::StartTime),   list.cell(row, TodoList::EndTime),
                     list.cell(row, TodoList::ShortDesc),   list.cell(row, TodoList::LongDesc),
                     list.cell(row, TodoList::DbStartTime), list.cell(row, TodoList::DbEndTime)};
}

bool TodoEntry::isAt(const TodoList& list, int row) const
{
    return row >= 1 && row < list.rows() && list.cell(row, TodoList::Num) == num &&
           list.cell(row, TodoList::Channel) == channel &&
           list.cell(row, TodoList::DbStartTime) == dbStartTime &&
           list.cell(row, TodoList::DbEndTime) == dbEndTime &&
           list.cell(row, TodoList::ShortDesc) == shortDesc &&
           list.cell(row, TodoList::LongDesc) == longDesc;
}

int TodoEntry::findIn(const TodoList& list, int skip) const
{
    for (int r = 1; r < list.rows(); ++r) {
        if (isAt(list, r) && skip-- == 0)
            return r;
    }
    return 0;
}

QString TodoEntry::describe() const
{
    QString text = QStringLiteral("%1 %2, %3, \"%4\"")
                       .arg(num.trimmed(), channel.trimmed(), startTime, shortDesc.trimmed());
    // A message line stays one line, whatever a title holds.
    for (QChar& ch : text) {
        if (ch.category() == QChar::Other_Control)
            ch = QLatin1Char(' ');
    }
    if (text.size() > 200)
        text = text.left(199) + QChar(0x2026);
    return text;
}

} // namespace dorvel
