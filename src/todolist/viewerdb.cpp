#include "viewerdb.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

namespace dorvel {

ViewerDatabase::ViewerDatabase(const QString& connectionName) : m_connection(connectionName) {}

ViewerDatabase::~ViewerDatabase()
{
    close();
}

bool ViewerDatabase::open(const QString& path)
{
    close();
    const QFileInfo fi(path);
    // QSQLITE would silently create a missing file; the viewer's file must already exist.
    if (!fi.isFile())
        return false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        bool ok = db.open();
        if (ok) {
            // An empty or foreign file opens fine in SQLite; only a file with the viewer's
            // tables is the viewer's database. Reading sqlite_master also fails for garbage.
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                       "AND upper(name) IN ('RECORD', 'CHANNELS')")) &&
                 q.next() && q.value(0).toInt() == 2;
        }
        if (!ok) {
            db.close();
        } else {
            m_path = path;
            return true;
        }
    }
    QSqlDatabase::removeDatabase(m_connection);
    return false;
}

void ViewerDatabase::close()
{
    if (!QSqlDatabase::contains(m_connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_path.clear();
}

bool ViewerDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_connection) &&
           QSqlDatabase::database(m_connection, false).isOpen();
}

QSqlDatabase ViewerDatabase::db() const
{
    return QSqlDatabase::database(m_connection, false);
}

std::optional<QSqlRecord> ViewerDatabase::takeFirstRecord(const QString& dbStartTime,
                                                          const QString& dbEndTime,
                                                          const QString& shortDesc,
                                                          const QString& longDesc)
{
    m_lastError.clear();
    if (!isOpen()) {
        m_lastError = QStringLiteral("the viewer database is not open");
        return std::nullopt;
    }
    // One statement finds, deletes and returns the row, so the viewer cannot slip a change in
    // between. NULL never equals a text, as the viewer's own lookup behaves.
    QSqlQuery q(db());
    q.prepare(QStringLiteral(
        "DELETE FROM RECORD WHERE rowid = (SELECT min(rowid) FROM RECORD WHERE STARTTIME = ? "
        "AND ENDTIME = ? AND SHORTDESC = ? AND LONGDESC = ?) RETURNING *"));
    q.addBindValue(dbStartTime);
    q.addBindValue(dbEndTime);
    q.addBindValue(shortDesc);
    q.addBindValue(longDesc);
    if (!q.exec()) {
        m_lastError = q.lastError().text();
        return std::nullopt;
    }
    if (!q.next()) {
        // Either nothing matched, or stepping the delete failed (locked, read-only file).
        m_lastError = q.lastError().isValid() ? q.lastError().text()
                                              : QStringLiteral("no matching entry was found");
        return std::nullopt;
    }
    QSqlRecord row = q.record();
    // Stepping to the end finalises the delete; only then is it committed.
    while (q.next()) {
    }
    if (q.lastError().isValid()) {
        m_lastError = q.lastError().text();
        return std::nullopt;
    }
    q.finish();
    return row;
}

bool ViewerDatabase::restoreRecord(const QSqlRecord& record)
{
    m_lastError.clear();
    if (!isOpen()) {
        m_lastError = QStringLiteral("the viewer database is not open");
        return false;
    }
    if (record.isEmpty()) {
        m_lastError = QStringLiteral("there is no entry to write back");
        return false;
    }
    QSqlDatabase d = db();
    QStringList names;
    QStringList marks;
    for (int i = 0; i < record.count(); ++i) {
        names << d.driver()->escapeIdentifier(record.fieldName(i), QSqlDriver::FieldName);
        marks << QStringLiteral("?");
    }
    QSqlQuery q(d);
    q.prepare(QStringLiteral("INSERT INTO RECORD (%1) VALUES (%2)")
                  .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    for (int i = 0; i < record.count(); ++i)
        q.addBindValue(record.value(i)); // a null QVariant binds as NULL, types stay as read
    if (!q.exec()) {
        m_lastError = q.lastError().text();
        return false;
    }
    return true;
}

} // namespace dorvel
