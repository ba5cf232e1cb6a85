#include "todolist.h"

#include "datetext.h"
#include "viewerdb.h"

#include <algorithm>

namespace dorvel {

namespace {

quint32 rgbOf(TodoList::RowColour c)
{
    switch (c) {
    case TodoList::RowColour::TimedOut:
        return 0xffff7878u; // (255,120,120)
    case TodoList::RowColour::Overlap:
        return 0xffffff78u; // (255,255,120)
    case TodoList::RowColour::Default:
        break;
    }
    return 0;
}

} // namespace

TodoList::TodoList(QObject* parent) : QAbstractTableModel(parent)
{
    m_headers.fill(QString(), ColumnCount);
    m_headers[0] = QStringLiteral(" ");
    m_widths[0] = 200; // not yet built: not narrower than 200
}

void TodoList::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TodoList::setHeaders(const QStringList& headers)
{
    m_headers = headers;
    while (m_headers.size() < ColumnCount)
        m_headers.append(QString());
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 2);
}

void TodoList::appendRow(const QString& tabSeparated)
{
    Row r;
    r.cells = tabSeparated.split(QLatin1Char('\t'));
    r.cells.resize(ColumnCount);
    const int at = int(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.append(r);
    endInsertRows();
}

QString TodoList::cellOf(const Row& r, int column)
{
    const QString& text = r.cells.at(column);
    if (!text.isNull() || !r.times)
        return text;
    const Row::Times& t = *r.times;
    switch (column) {
    case StartTime:
        return FormatDefaultQuick(t.start);
    case EndTime:
        return FormatDefaultQuick(t.end);
    case SortKey:
        return FormatSortKey(t.recStart);
    case RecStart:
        return FormatDefaultQuick(t.recStart);
    case RecMinutes:
        return t.recMinutes < 0 ? QString() : QString::number(t.recMinutes);
    default:
        return text;
    }
}

QString TodoList::cell(int row, int column) const
{
    if (row == 0)
        return header(column);
    if (row < 1 || row > m_rows.size() || column < 0 || column >= ColumnCount)
        return {};
    return cellOf(m_rows.at(row - 1), column);
}

void TodoList::setCell(int row, int column, const QString& text)
{
    if (row < 1 || row > m_rows.size() || column < 0 || column >= ColumnCount)
        return;
    Row& r = m_rows[row - 1];
    // The fingerprint stays that of the texts as loaded.
    if (r.plainTexts && (column == DbStartTime || column == DbEndTime || column == ShortDesc ||
                         column == LongDesc)) {
        r.fingerprint = fingerprint(row);
        r.plainTexts = false;
    }
    // A null text would read as the computed one again.
    r.cells[column] = text.isNull() && r.times ? QStringLiteral("") : text;
    if (column >= 1) {
        const QModelIndex i = index(row - 1, column - 1);
        Q_EMIT dataChanged(i, i);
    }
}

void TodoList::removeRow(int row)
{
    if (row < 1 || row > m_rows.size())
        return;
    beginRemoveRows({}, row - 1, row - 1);
    m_rows.removeAt(row - 1);
    endRemoveRows();
}

void TodoList::replaceRows(QList<Row> rows)
{
    for (Row& r : rows)
        r.cells.resize(ColumnCount);
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void TodoList::sortBySortKey()
{
    Q_EMIT layoutAboutToBeChanged();
    // Each key is converted once, not once per comparison.
    QList<std::pair<qint64, qsizetype>> keys;
    keys.reserve(m_rows.size());
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        keys.append({cellOf(m_rows.at(i), SortKey).toLongLong(), i});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<Row> sorted;
    sorted.reserve(m_rows.size());
    for (const auto& k : keys)
        sorted.append(std::move(m_rows[k.second]));
    m_rows = std::move(sorted);
    Q_EMIT layoutChanged();
}

void TodoList::setRowColour(int row, RowColour colour)
{
    if (row < 1 || row > m_rows.size())
        return;
    m_rows[row - 1].colour = colour;
    Q_EMIT dataChanged(index(row - 1, 0), index(row - 1, ColumnCount - 2));
}

TodoList::RowColour TodoList::rowColour(int row) const
{
    if (row < 1 || row > m_rows.size())
        return RowColour::Default;
    return m_rows.at(row - 1).colour;
}

qint64 TodoList::rowId(int row) const
{
    return (row >= 1 && row <= m_rows.size()) ? m_rows.at(row - 1).rowId : 0;
}

QString TodoList::fingerprint(int row) const
{
    if (row < 1 || row > m_rows.size())
        return {};
    const Row& r = m_rows.at(row - 1);
    if (!r.plainTexts)
        return r.fingerprint;
    return ViewerDatabase::plainFingerprint(r.cells.at(DbStartTime), r.cells.at(DbEndTime),
                                            r.cells.at(ShortDesc), r.cells.at(LongDesc));
}

int TodoList::columnWidth(int column) const
{
    if (column < 0 || column >= ColumnCount)
        return 0;
    if (!m_widthsSet && column >= Num && column <= PostRecord)
        return savedWidths[column - Num];
    return m_widths[column];
}

void TodoList::setColumnWidth(int column, int twips)
{
    if (column < 0 || column >= ColumnCount)
        return;
    if (!m_widthsSet) {
        for (int c = Num; c <= PostRecord; ++c)
            m_widths[c] = savedWidths[c - Num];
        m_widthsSet = true;
    }
    if (m_widths[column] == twips)
        return;
    m_widths[column] = twips;
    Q_EMIT columnWidthChanged(column, twips);
}

int TodoList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TodoList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount - 1;
}

QVariant TodoList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const int column = index.column() + 1;
    const Row& r = m_rows.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return cellOf(r, column);
    if (role == BackgroundRgbRole && column <= PostRecord)
        return rgbOf(r.colour);
    return {};
}

QVariant TodoList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == BackgroundRgbRole)
        return kFixedCellRgb;
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return header(section + 1);
    return QString();
}

} // namespace dorvel
