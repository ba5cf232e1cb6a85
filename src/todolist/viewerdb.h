#pragma once

#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>

#include <optional>

namespace dorvel {

// The viewer's database: a SQLite file (it keeps its .mdb name) shared with the viewer, which
// may write to it at the same time; a busy timeout makes us wait briefly instead of failing.
// Every value goes into a statement as a bound parameter.
class ViewerDatabase {
public:
    explicit ViewerDatabase(const QString& connectionName = QStringLiteral("orbivu"));
    ~ViewerDatabase();
    ViewerDatabase(const ViewerDatabase&) = delete;
    ViewerDatabase& operator=(const ViewerDatabase&) = delete;

    // OpenViewerDatabase: releases a previous connection and opens the file. Fails for a
    // missing file, a folder, and a file that is not a viewer database (no RECORD and
    // CHANNELS tables), without ever creating or changing the file.
    bool open(const QString& path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QSqlDatabase db() const;

    // Statements used by the scheduler and the editors (all values bound as parameters):
    // Deletes the first RECORD row (lowest rowid) whose STARTTIME, ENDTIME, SHORTDESC and
    // LONGDESC equal the texts, and returns that row with all its columns so that it can be
    // written back unchanged; nothing when no row matched or the delete failed.
    std::optional<QSqlRecord> takeFirstRecord(const QString& dbStartTime, const QString& dbEndTime,
                                              const QString& shortDesc, const QString& longDesc);
    // Re-inserts a row returned by takeFirstRecord, every column as it was.
    bool restoreRecord(const QSqlRecord& record);

    // Why the last statement failed, in words a user can read ("" after a success).
    QString lastError() const { return m_lastError; }

    static constexpr int kBusyTimeoutMs = 5000;

private:
    QString m_connection;
    QString m_path;
    QString m_lastError;
};

} // namespace dorvel
