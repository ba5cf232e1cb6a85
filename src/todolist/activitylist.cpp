#include "activitylist.h"

#include "plaintext.h"

namespace dorvel {

int ActivityList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant ActivityList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size() || role != Qt::DisplayRole)
        return {};
    return m_lines.at(index.row());
}

void ActivityList::clear()
{
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

void ActivityList::append(const QString& line)
{
    append(QStringList{line});
}

void ActivityList::append(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    const int row = int(m_lines.size());
    beginInsertRows({}, row, row + int(lines.size()) - 1);
    for (const QString& line : lines)
        m_lines.append(escapeControls(line));
    endInsertRows();
    for (qsizetype i = row; i < m_lines.size(); ++i)
        Q_EMIT lineAppended(m_lines.at(i));
}

void ActivityList::removeLast()
{
    if (m_lines.isEmpty())
        return;
    const int row = int(m_lines.size()) - 1;
    beginRemoveRows({}, row, row);
    m_lines.removeLast();
    endRemoveRows();
}

} // namespace dorvel
