#pragma once

#include "settings.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include <array>
#include <optional>

namespace dorvel {

// The to-do list: the grid of text cells of pending recordings. Its own API uses grid
// indices as the rest of the program does: row 0 is the header row, data rows are 1 to
// rows() - 1, columns 0 to 13 (column 0 is the empty row header). As a Qt table model it
// shows data row r as model row r - 1 and columns 1 to 13 as model columns 0 to 12.
class TodoList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        RowHeader = 0,
        Num = 1,
        Channel = 2,
        StartTime = 3,
        EndTime = 4,
        ShortDesc = 5,
        LongDesc = 6,
        PreRecord = 7,
        PostRecord = 8,
        SortKey = 9,
        DbStartTime = 10,
        DbEndTime = 11,
        RecStart = 12,
        RecMinutes = 13,
        ColumnCount = 14
    };
    enum class RowColour { Default, TimedOut, Overlap };
    // The role under which the model gives a cell's background as a QRgb (0 = default).
    static constexpr int BackgroundRgbRole = Qt::UserRole + 1;

    static constexpr double kNoEventLoaded = 2593224.4166666665;  // 9000-01-01 10:00
    static constexpr double kNoEventStarted = 2593224.4236111110; // 9000-01-01 10:10

    // One data row: ColumnCount text cells and the background of columns 1 to 8.
    struct Row {
        Row() = default;
        Row(QStringList cells, RowColour colour, qint64 rowId = 0, QString fingerprint = {})
            : cells(std::move(cells)), colour(colour), rowId(rowId),
              fingerprint(std::move(fingerprint))
        {}

        QStringList cells; // always ColumnCount cells
        RowColour colour = RowColour::Default;
        // Where the entry was loaded from: its rowid and the stored bytes of its texts, so
        // that the delete finds exactly this row (0 and empty: not known, the texts decide).
        qint64 rowId = 0;
        QString fingerprint;
        // Empty fingerprint standing for that of the plain texts in the cells, see LoadRow.
        bool plainTexts = false;
        // A computed entry keeps its times as numbers: a null STARTTIME, ENDTIME, SORTKEY,
        // RECSTART or RECMINUTES cell reads as the text formed from them (a list of 100,000
        // entries need not hold half a million short texts). A cell set later wins.
        struct Times {
            double start = 0, end = 0, recStart = 0;
            int recMinutes = -1; // not known: empty
        };
        std::optional<Times> times;
    };
    // The background of the header row and the row-header column, (0,255,255).
    static constexpr quint32 kFixedCellRgb = 0xff00ffffu;

    explicit TodoList(QObject* parent = nullptr);

    // Grid operations.
    int rows() const { return int(m_rows.size()) + 1; } // with the header row
    void clear();                                       // header row only
    void setHeaders(const QStringList& headers);        // texts of columns 0..13
    QString header(int column) const { return m_headers.value(column); }
    void appendRow(const QString& tabSeparated); // cell 0 first
    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    void removeRow(int row);
    void sortBySortKey(); // numerically ascending; a row moves with its cells and colour
    void setRowColour(int row, RowColour colour);
    RowColour rowColour(int row) const;
    // A row the scheduler may still start: neither timed out nor impossible to compute.
    bool isPending(int row) const { return rowColour(row) != RowColour::TimedOut; }
    qint64 rowId(int row) const;
    QString fingerprint(int row) const;
    // Replaces all data rows at once (one model reset instead of a signal per row); short rows
    // are padded to ColumnCount cells.
    void replaceRows(QList<Row> rows);

    // Live widths in twips; the view follows them and reports the user's drags back.
    // Until the first build of the run, columns 1 to 8 report savedWidths (what start-up
    // read) and column 0 is wider than 200, so that the first build keeps savedWidths.
    int columnWidth(int column) const;
    void setColumnWidth(int column, int twips);
    // ColumnWidths: the saved widths of columns 1 to 8 that every rebuild applies.
    std::array<qint16, 8> savedWidths = FormatStr::kDefaultWidths;

    // Shared next-event state.
    double nextEventTime = kNoEventLoaded;
    int nextEventRow = 0;
    int nextEventColumn = RecStart;
    int recordingCount = 0;

    // Qt model face.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

Q_SIGNALS:
    void columnWidthChanged(int column, int twips);

private:
    static QString cellOf(const Row& r, int column);

    QList<Row> m_rows;
    QStringList m_headers;
    std::array<int, ColumnCount> m_widths{};
    bool m_widthsSet = false; // a width has been set in this run
};

} // namespace dorvel
