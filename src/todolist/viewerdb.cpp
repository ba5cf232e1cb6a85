#include "viewerdb.h"

#include <QFileInfo>
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

} // namespace dorvel
