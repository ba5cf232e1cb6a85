#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

class QSqlQuery;

namespace dorvel {

// The viewer's database: a SQLite file (it keeps its .mdb name) shared with the viewer, which
// may write to it at the same time; a busy timeout makes us wait up to 5 s instead of failing.
// Every value goes into a statement as a bound parameter; only column names from a fixed
// list are ever part of a statement's text.
//
// "The first matching row" is always the one with the lowest rowid. Texts are compared
// exactly (=, no LIKE, no case folding). A NULL text is shown as an empty cell, so an empty
// text also finds a NULL: otherwise such an entry could never be edited or deleted.
//
// Every method reports a failure by its result and leaves a reason a user can read in
// lastError(): the file is locked by another program for longer than the timeout, it has
// vanished, it is damaged, or it is not open.
class ViewerDatabase {
public:
    explicit ViewerDatabase(const QString& connectionName = QStringLiteral("orbivu"));
    ~ViewerDatabase();
    ViewerDatabase(const ViewerDatabase&) = delete;
    ViewerDatabase& operator=(const ViewerDatabase&) = delete;

    // OpenViewerDatabase: releases a previous connection and opens the file. Fails for a
    // missing file, a folder, and a file that is not a viewer database (no RECORD and
    // CHANNELS tables), without ever creating or changing the file; lastFailure() tells these
    // apart from a file that another program keeps locked beyond the busy timeout, which the
    // next statement tries to open again.
    //
    // Before every statement the file at the path is compared with the one that was opened;
    // when it has been replaced (copied over and renamed), the new file is opened.
    bool open(const QString& path);
    void close();
    bool isOpen() const;
    // A trial open of another file by the rules of open(), on a connection of its own that
    // is closed again at once. The open database is left alone; the file is never created
    // or changed.
    static bool canOpen(const QString& path);
    QString path() const { return m_path; }
    QSqlDatabase db() const;

    // Why the last statement failed, in words a user can read ("" after a success).
    QString lastError() const { return m_lastError; }

    // --- Version check and upgrade -------------------------------------------------------
    // The number of columns of RECORD; nothing when it cannot be read.
    std::optional<int> recordColumnCount();
    // Adds PRERECORD and POSTRECORD as integer columns. Both are attempted even when the
    // first fails; true only when both were added.
    bool upgradeRecordTable();
    static constexpr int kOldRecordColumns = 8;

    // --- The load ---------------------------------------------------------------------------
    // One entry of the load query: channel number and name, then the six RECORD columns.
    // NULL reads as an empty text.
    struct LoadRow {
        QString num, channel, startTime, endTime, shortDesc, longDesc, preRecord, postRecord;
        qint64 rowId = 0;
        QString fingerprint; // the stored bytes of the four texts, see takeRecord()
        // The four texts are stored as plain ASCII text: the fingerprint is left empty and
        // is plainFingerprint() of them (most entries; the list need not hold a copy).
        bool plainTexts = false;
    };
    static QString plainFingerprint(QStringView startTime, QStringView endTime,
                                    QStringView shortDesc, QStringView longDesc);
    static const QStringList& loadFieldNames(); // the 8 field names, in query order
    // The load statement as text, for measuring it with other tools.
    static QString loadStatement();
    // Every entry joined with its channel, in the order the database returns them. Entries
    // whose channel keys match no channel are not returned (and not touched). The whole
    // result is read before it is returned: a failure halfway gives nothing, never a part.
    std::optional<QList<LoadRow>> loadEntries();
    // The same, handing each entry over as it is read (no copy of the whole result). The
    // receiver must not use what it got when this returns false. Native reads through the
    // SQLite connection itself where there is one; both give the same rows and reasons.
    enum class Reader { Native, QtSql };
    bool forEachEntry(const std::function<void(const LoadRow&)>& receive,
                      Reader reader = Reader::Native);

    // --- Statements used by the scheduler and the editors ------------------------------
    // Deletes the first RECORD row (lowest rowid) whose STARTTIME, ENDTIME, SHORTDESC and
    // LONGDESC equal the texts, and returns that row with all its columns; nothing when no
    // row matched or the delete failed.
    std::optional<QSqlRecord> takeFirstRecord(const QString& dbStartTime, const QString& dbEndTime,
                                              const QString& shortDesc, const QString& longDesc);
    // The same for the row the list was loaded from: the row with that rowid when its stored
    // STARTTIME, ENDTIME, SHORTDESC and LONGDESC are still, byte for byte and type for type,
    // those of the fingerprint; otherwise the first row that has them. Texts that are not
    // UTF-8 or stored as BLOBs are found as well. Without a rowid the texts decide, as in
    // takeFirstRecord.
    struct RecordKey {
        qint64 rowId = 0;
        QString fingerprint;
        QString dbStartTime, dbEndTime, shortDesc, longDesc;
    };
    std::optional<QSqlRecord> takeRecord(const RecordKey& key);
    // Why the last statement failed: nothing matched, or the file is locked, or else.
    enum class Failure { None, NotFound, Locked, Missing, NotViewerDatabase, Other };
    Failure lastFailure() const { return m_lastFailure; }

    enum class UpdateResult {
        Updated,  // the value was written
        KeptOld,  // the row was found, but the column cannot take the text: old value kept
        NotFound, // no row with these times
        Failed    // the database refused (lastError says why)
    };
    // The in-place editor: sets one column of the first RECORD row whose STARTTIME and ENDTIME
    // equal the texts. column is a RECORD column name; STARTTIME, ENDTIME, SHORTDESC and
    // LONGDESC take any text, PRERECORD and POSTRECORD take a whole number (blanks around it
    // allowed) within 32 bits. Any other name writes nothing but still looks the row up.
    UpdateResult updateFirstRecord(const QString& dbStartTime, const QString& dbEndTime,
                                   const QString& column, const QString& text);
    // The same for the first RECORD row whose STARTTIME, ENDTIME, SHORTDESC and LONGDESC equal
    // the texts: two entries at the same times on different channels are told apart.
    UpdateResult updateFirstRecord(const QString& dbStartTime, const QString& dbEndTime,
                                   const QString& shortDesc, const QString& longDesc,
                                   const QString& column, const QString& text);
    // Whether the last takeFirstRecord or updateFirstRecord failed because no row matched
    // (rather than because the database refused).
    bool lastFoundNothing() const { return m_lastFailure == Failure::NotFound; }

    // --- The add-recording form and its commit -------------------------------------------
    struct Channel {
        QString number; // CHANNELNUM as text
        QString name;
    };
    struct ChannelKeys {
        QString number;
        QString sourceId; // trimmed text
        QVariant nid;     // as stored: numbers above 16 bits are carried unchanged
        QVariant sid;
    };
    // All channel numbers, ascending numerically; all names, ascending.
    std::optional<QStringList> channelNumbers();
    std::optional<QStringList> channelNames();
    // Channels with that number / that name (first = lowest rowid); empty when none. Names
    // are compared without the blanks around them, as the pick list shows them.
    std::optional<QList<Channel>> channelsByNumber(qint64 number);
    std::optional<QList<Channel>> channelsByName(const QString& name);
    // CHANNELNUM, SOURCEID, NID, SID of the channels with that number; empty when none.
    std::optional<QList<ChannelKeys>> channelKeysByNumber(qint64 number);

    struct NewRecord {
        QString sourceId;
        QVariant nid, sid;
        QString startTime, endTime; // "yyyy.mm.dd hh:nn"
        QString shortDesc, longDesc;
        qint64 preRecord = 0, postRecord = 0;
    };
    // Appends one RECORD row (CHARID 0); columns not named keep the table's defaults.
    bool appendRecord(const NewRecord& record);
    // Appends the rows in order through one prepared statement and stops at the first that
    // fails; returns how many were appended (lastError says why the next one was not).
    // Native writes through the SQLite connection itself where there is one; both store the
    // same values and give the same reasons.
    enum class Writer { Native, QtSql };
    int appendRecords(const QList<NewRecord>& records, Writer writer = Writer::Native);

    // Several writes that reach the file together. beginWrite takes the write lock at once,
    // waiting up to the busy timeout while the viewer holds it, so that no row is written
    // before it is known that all of them can be. A statement that fails inside leaves the
    // rows before it pending; commitWrite makes them durable or, when it fails (or the engine
    // has already dropped the transaction), nothing of them is in the file.
    bool beginWrite();
    bool commitWrite();
    void rollbackWrite();

    static constexpr int kBusyTimeoutMs = 5000;
    // How long statements wait for another program's lock, until set otherwise.
    void setBusyTimeout(int ms);

private:
    bool ready();
    bool fail(const QSqlQuery& q);
    bool fail(const QSqlError& e);
    // The first column of every row of a statement without parameters, as text.
    std::optional<QStringList> firstColumn(const QString& statement);
    // Runs a prepared DELETE ... RETURNING * and gives the deleted row.
    std::optional<QSqlRecord> deleteReturning(QSqlQuery& q);
    // Channel number and name of every row that one bound value selects, in rowid order.
    std::optional<QList<Channel>> channels(const QString& statement, const QVariant& value);
    // updateFirstRecord for the row that `first` (a statement giving min(rowid)) selects.
    UpdateResult updateFirst(const QString& first, const QVariantList& keys, const QString& column,
                             const QString& text);

    struct FileIdentity {
        quint64 device = 0, inode = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> identityOf(const QString& path);

    QString m_connection;
    QString m_path;
    std::optional<FileIdentity> m_identity;
    QString m_retryPath; // locked when it was opened
    QString m_lastError;
    Failure m_lastFailure = Failure::None;
};

} // namespace dorvel
