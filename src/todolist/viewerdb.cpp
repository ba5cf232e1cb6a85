#include "viewerdb.h"

#include "loadreader.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <QFile>

#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace dorvel {

namespace {

// Plain words for what SQLite reports; the engine's own text follows in brackets.
QString readableReason(const QSqlError& e)
{
    const QString code = e.nativeErrorCode();
    QString what;
    if (code == QLatin1String("5") || code == QLatin1String("6"))
        what = QStringLiteral("the database file is locked by another program (waited %1 seconds)")
                   .arg(ViewerDatabase::kBusyTimeoutMs / 1000);
    else if (code == QLatin1String("11") || code == QLatin1String("26"))
        what = QStringLiteral("the database file is damaged or is no viewer database");
    else if (code == QLatin1String("8"))
        what = QStringLiteral("the database file cannot be written (read-only)");
    else if (code == QLatin1String("10") || code == QLatin1String("14"))
        what = QStringLiteral("the database file cannot be read");
    else if (code == QLatin1String("13"))
        what = QStringLiteral("the disk is full");
    else
        what = QStringLiteral("the database reported an error");
    const QString engine = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return engine.isEmpty() ? what : what + QStringLiteral(" (") + engine + QLatin1Char(')');
}

// A null QString would bind as NULL, and NULL equals nothing; the list's cells hold texts.
QVariant textParam(const QString& s)
{
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

QString textOf(const QVariant& v)
{
    return v.isNull() ? QString() : v.toString();
}

// The first matching row: the lowest rowid among the rows whose texts equal the bound ones.
const QString kFirstByFour = QStringLiteral(
    "SELECT min(rowid) FROM RECORD WHERE coalesce(STARTTIME, '') = ? AND "
    "coalesce(ENDTIME, '') = ? AND coalesce(SHORTDESC, '') = ? AND coalesce(LONGDESC, '') = ?");
const QString kFirstByTimes =
    QStringLiteral("SELECT min(rowid) FROM RECORD WHERE coalesce(STARTTIME, '') = ? AND "
                   "coalesce(ENDTIME, '') = ?");

bool isLock(const QSqlError& e)
{
    const QString code = e.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6");
}

// The four texts of a RECORD row as stored: type and bytes, in plain ASCII so that nothing is
// lost on the way through QString.
QString fingerprintOf(const QString& table)
{
    QStringList parts;
    for (const char* column : {"STARTTIME", "ENDTIME", "SHORTDESC", "LONGDESC"}) {
        const QString c = table + QLatin1String(column);
        parts << QStringLiteral("typeof(%1) || ':' || hex(%1)").arg(c);
    }
    return parts.join(QStringLiteral(" || '/' || "));
}

// A whole number with optional blanks around it, within 32 bits.
std::optional<qint64> wholeMinutes(const QString& text)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return v;
}

} // namespace

ViewerDatabase::ViewerDatabase(const QString& connectionName) : m_connection(connectionName) {}

ViewerDatabase::~ViewerDatabase()
{
    close();
}

bool ViewerDatabase::open(const QString& path)
{
    close();
    m_retryPath.clear();
    m_lastError.clear();
    m_lastFailure = Failure::None;
    const QFileInfo fi(path);
    // QSQLITE would silently create a missing file; the viewer's file must already exist.
    if (!fi.isFile()) {
        m_lastFailure = Failure::Missing;
        m_lastError = QStringLiteral("the database file %1 does not exist").arg(path);
        return false;
    }
    const std::optional<FileIdentity> identity = identityOf(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        bool ok = db.open();
        if (!ok) {
            m_lastFailure = Failure::Other;
            m_lastError = readableReason(db.lastError());
        } else {
            // An empty or foreign file opens fine in SQLite; only a file with the viewer's
            // tables is the viewer's database. Reading sqlite_master also fails for garbage,
            // and waits for (then fails on) a lock that another program holds.
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' "
                                       "AND upper(name) IN ('RECORD', 'CHANNELS')")) ||
                !q.next()) {
                ok = false;
                fail(q);
                if (q.lastError().nativeErrorCode() == QLatin1String("26"))
                    m_lastFailure = Failure::NotViewerDatabase;
            } else if (q.value(0).toInt() != 2) {
                ok = false;
                m_lastFailure = Failure::NotViewerDatabase;
                m_lastError = QStringLiteral("%1 is no viewer database").arg(path);
            }
        }
        if (!ok) {
            db.close();
        } else {
            m_path = path;
            m_identity = identity;
            return true;
        }
    }
    QSqlDatabase::removeDatabase(m_connection);
    // A lock passes: the next statement tries again.
    if (m_lastFailure == Failure::Locked)
        m_retryPath = path;
    return false;
}

bool ViewerDatabase::canOpen(const QString& path)
{
    ViewerDatabase trial(QStringLiteral("orbivu-trial"));
    return trial.open(path);
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
    m_identity.reset();
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

void ViewerDatabase::setBusyTimeout(int ms)
{
    if (!isOpen())
        return;
    QSqlQuery q(db());
    q.exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(ms));
}

std::optional<ViewerDatabase::FileIdentity> ViewerDatabase::identityOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{quint64(st.st_dev), quint64(st.st_ino)};
}

bool ViewerDatabase::ready()
{
    // The file at the path is another one (a backup restored by copy and rename): the open
    // connection still reads the old, deleted copy. Open the new one.
    if (isOpen() && m_identity) {
        const std::optional<FileIdentity> now = identityOf(m_path);
        if (now && *now != *m_identity) {
            const QString path = m_path;
            if (!open(path))
                return false;
        }
    } else if (!isOpen() && !m_retryPath.isEmpty()) {
        const QString path = m_retryPath; // open() forgets it
        if (!open(path))
            return false;
    }
    m_lastError.clear();
    m_lastFailure = Failure::None;
    if (!isOpen()) {
        m_lastFailure = Failure::Other;
        m_lastError = QStringLiteral("the viewer database is not open");
        return false;
    }
    // An open connection keeps reading a deleted file; the viewer would no longer see it.
    if (!QFileInfo::exists(m_path)) {
        m_lastError = QStringLiteral("the database file %1 no longer exists").arg(m_path);
        m_lastFailure = Failure::Other;
        return false;
    }
    return true;
}

bool ViewerDatabase::fail(const QSqlQuery& q)
{
    return fail(q.lastError());
}

bool ViewerDatabase::fail(const QSqlError& e)
{
    m_lastError = readableReason(e);
    m_lastFailure = isLock(e) ? Failure::Locked : Failure::Other;
    return false;
}

std::optional<int> ViewerDatabase::recordColumnCount()
{
    if (!ready())
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM RECORD LIMIT 0"))) {
        fail(q);
        return std::nullopt;
    }
    return q.record().count();
}

bool ViewerDatabase::upgradeRecordTable()
{
    if (!ready())
        return false;
    bool ok = true;
    QStringList reasons;
    for (const QString& column : {QStringLiteral("PRERECORD"), QStringLiteral("POSTRECORD")}) {
        QSqlQuery q(db());
        if (!q.exec(QStringLiteral("ALTER TABLE RECORD ADD COLUMN %1 INTEGER").arg(column))) {
            ok = false;
            reasons << readableReason(q.lastError());
        }
    }
    m_lastError = reasons.join(QStringLiteral("; "));
    return ok;
}

const QStringList& ViewerDatabase::loadFieldNames()
{
    static const QStringList names{QStringLiteral("Num"),       QStringLiteral("Channel"),
                                   QStringLiteral("STARTTIME"), QStringLiteral("ENDTIME"),
                                   QStringLiteral("SHORTDESC"), QStringLiteral("LONGDESC"),
                                   QStringLiteral("PRERECORD"), QStringLiteral("POSTRECORD")};
    return names;
}

QString ViewerDatabase::loadStatement()
{
    // Plain column comparisons: SQLite applies the columns' own affinities, so a key stored
    // as text in a text column still equals the same number in an integer column, and the
    // join can use an automatic index instead of comparing every pair.
    return QStringLiteral(
               "SELECT CHANNELS.CHANNELNUM AS Num, CHANNELS.NAME AS Channel, RECORD.STARTTIME, "
               "RECORD.ENDTIME, RECORD.SHORTDESC, RECORD.LONGDESC, RECORD.PRERECORD, "
               "RECORD.POSTRECORD, RECORD.rowid, ") +
           fingerprintOf(QStringLiteral("RECORD.")) +
           QStringLiteral(" FROM CHANNELS INNER JOIN RECORD ON (CHANNELS.NID = RECORD.NID) AND "
                          "(CHANNELS.SID = RECORD.SID) AND (CHANNELS.SOURCEID = RECORD.SOURCEID)");
}

QString ViewerDatabase::plainFingerprint(QStringView startTime, QStringView endTime,
                                         QStringView shortDesc, QStringView longDesc)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QString f;
    f.reserve(4 * 6 + 2 * (startTime.size() + endTime.size() + shortDesc.size() + longDesc.size()));
    for (const QStringView text : {startTime, endTime, shortDesc, longDesc}) {
        if (!f.isEmpty())
            f += QLatin1Char('/');
        f += QLatin1String("text:");
        for (const QChar ch : text) {
            const uchar byte = uchar(ch.unicode());
            f += QLatin1Char(kHex[byte >> 4]);
            f += QLatin1Char(kHex[byte & 15]);
        }
    }
    return f;
}

std::optional<QList<ViewerDatabase::LoadRow>> ViewerDatabase::loadEntries()
{
    QList<LoadRow> rows;
    if (!forEachEntry([&rows](const LoadRow& r) { rows.append(r); }))
        return std::nullopt;
    return rows;
}

bool ViewerDatabase::forEachEntry(const std::function<void(const LoadRow&)>& receive, Reader reader)
{
    if (!ready())
        return false;
    if (reader == Reader::Native) {
        QSqlError error;
        switch (LoadReader::read(db().driver()->handle(), loadStatement(), receive, error)) {
        case LoadReader::Result::Done:
            return true;
        case LoadReader::Result::Failed:
            return fail(error);
        case LoadReader::Result::NoHandle:
            break;
        }
    }
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.exec(loadStatement()))
        return fail(q);
    LoadRow row;
    while (q.next()) {
        row.num = textOf(q.value(0));
        row.channel = textOf(q.value(1));
        row.startTime = textOf(q.value(2));
        row.endTime = textOf(q.value(3));
        row.shortDesc = textOf(q.value(4));
        row.longDesc = textOf(q.value(5));
        row.preRecord = textOf(q.value(6));
        row.postRecord = textOf(q.value(7));
        row.rowId = q.value(8).toLongLong();
        row.fingerprint = q.value(9).toString();
        receive(row);
    }
    // next() is false at the end and on a failure midway (busy, damaged page).
    if (q.lastError().isValid())
        return fail(q);
    return true;
}

std::optional<QSqlRecord> ViewerDatabase::takeFirstRecord(const QString& dbStartTime,
                                                          const QString& dbEndTime,
                                                          const QString& shortDesc,
                                                          const QString& longDesc)
{
    if (!ready())
        return std::nullopt;
    // One statement finds, deletes and returns the row, so the viewer cannot slip a change
    // in between.
    QSqlQuery q(db());
    q.prepare(QStringLiteral("DELETE FROM RECORD WHERE rowid = (") + kFirstByFour +
              QStringLiteral(") RETURNING *"));
    q.addBindValue(textParam(dbStartTime));
    q.addBindValue(textParam(dbEndTime));
    q.addBindValue(textParam(shortDesc));
    q.addBindValue(textParam(longDesc));
    return deleteReturning(q);
}

std::optional<QSqlRecord> ViewerDatabase::deleteReturning(QSqlQuery& q)
{
    if (!q.exec()) {
        fail(q);
        return std::nullopt;
    }
    if (!q.next()) {
        // Either nothing matched, or stepping the delete failed (locked, read-only file).
        if (q.lastError().isValid()) {
            fail(q);
        } else {
            m_lastError = QStringLiteral("the entry is no longer in the database");
            m_lastFailure = Failure::NotFound;
        }
        return std::nullopt;
    }
    QSqlRecord row = q.record();
    // Stepping to the end finalises the delete; only then is it committed.
    while (q.next()) {
    }
    if (q.lastError().isValid()) {
        fail(q);
        return std::nullopt;
    }
    q.finish();
    return row;
}

std::optional<QSqlRecord> ViewerDatabase::takeRecord(const RecordKey& key)
{
    if (key.rowId <= 0 || key.fingerprint.isEmpty())
        return takeFirstRecord(key.dbStartTime, key.dbEndTime, key.shortDesc, key.longDesc);
    if (!ready())
        return std::nullopt;
    QSqlQuery q(db());
    q.prepare(QStringLiteral("DELETE FROM RECORD WHERE rowid = (SELECT rowid FROM RECORD WHERE ") +
              fingerprintOf(QString()) +
              QStringLiteral(" = ? ORDER BY rowid <> ?, rowid LIMIT 1) RETURNING *"));
    q.addBindValue(key.fingerprint);
    q.addBindValue(key.rowId);
    return deleteReturning(q);
}

ViewerDatabase::UpdateResult ViewerDatabase::updateFirstRecord(const QString& dbStartTime,
                                                               const QString& dbEndTime,
                                                               const QString& column,
                                                               const QString& text)
{
    return updateFirst(kFirstByTimes, {textParam(dbStartTime), textParam(dbEndTime)}, column, text);
}

ViewerDatabase::UpdateResult
ViewerDatabase::updateFirstRecord(const QString& dbStartTime, const QString& dbEndTime,
                                  const QString& shortDesc, const QString& longDesc,
                                  const QString& column, const QString& text)
{
    return updateFirst(
        kFirstByFour,
        {textParam(dbStartTime), textParam(dbEndTime), textParam(shortDesc), textParam(longDesc)},
        column, text);
}

ViewerDatabase::UpdateResult ViewerDatabase::updateFirst(const QString& first,
                                                         const QVariantList& keys,
                                                         const QString& column, const QString& text)
{
    if (!ready())
        return UpdateResult::Failed;
    static const QStringList kTextColumns{QStringLiteral("STARTTIME"), QStringLiteral("ENDTIME"),
                                          QStringLiteral("SHORTDESC"), QStringLiteral("LONGDESC")};
    static const QStringList kMinuteColumns{QStringLiteral("PRERECORD"),
                                            QStringLiteral("POSTRECORD")};
    const QString name = column.toUpper();
    QVariant value;
    if (kTextColumns.contains(name)) {
        value = textParam(text);
    } else if (kMinuteColumns.contains(name)) {
        if (const auto minutes = wholeMinutes(text))
            value = *minutes;
    }
    const auto notFound = [this] {
        m_lastFailure = Failure::NotFound;
        m_lastError = QStringLiteral("the entry is no longer in the database");
        return UpdateResult::NotFound;
    };

    QSqlQuery q(db());
    if (value.isValid()) {
        // The name comes from the fixed lists above, never from the caller's text.
        q.prepare(QStringLiteral("UPDATE RECORD SET %1 = ? WHERE rowid = (").arg(name) + first +
                  QLatin1Char(')'));
        q.addBindValue(value);
        for (const QVariant& k : keys)
            q.addBindValue(k);
        if (!q.exec()) {
            fail(q);
            return UpdateResult::Failed;
        }
        if (q.numRowsAffected() > 0)
            return UpdateResult::Updated;
        return notFound();
    }
    q.prepare(first);
    for (const QVariant& k : keys)
        q.addBindValue(k);
    if (!q.exec() || !q.next()) {
        fail(q);
        return UpdateResult::Failed;
    }
    if (q.value(0).isNull())
        return notFound();
    return UpdateResult::KeptOld;
}

namespace {

template <typename Row, typename Make> std::optional<QList<Row>> collect(QSqlQuery& q, Make&& make)
{
    QList<Row> rows;
    while (q.next())
        rows.append(make(q));
    if (q.lastError().isValid())
        return std::nullopt;
    return rows;
}

} // namespace

std::optional<QStringList> ViewerDatabase::firstColumn(const QString& statement)
{
    if (!ready())
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.exec(statement)) {
        fail(q);
        return std::nullopt;
    }
    auto rows = collect<QString>(q, [](QSqlQuery& r) { return textOf(r.value(0)); });
    if (!rows)
        fail(q);
    return rows;
}

std::optional<QStringList> ViewerDatabase::channelNumbers()
{
    return firstColumn(QStringLiteral("SELECT CHANNELNUM FROM CHANNELS ORDER BY CHANNELNUM"));
}

std::optional<QStringList> ViewerDatabase::channelNames()
{
    return firstColumn(QStringLiteral("SELECT NAME FROM CHANNELS ORDER BY NAME"));
}

std::optional<QList<ViewerDatabase::Channel>> ViewerDatabase::channels(const QString& statement,
                                                                       const QVariant& value)
{
    if (!ready())
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(statement);
    q.addBindValue(value);
    if (!q.exec()) {
        fail(q);
        return std::nullopt;
    }
    auto rows = collect<Channel>(q, [](QSqlQuery& r) {
        return Channel{textOf(r.value(0)), textOf(r.value(1))};
    });
    if (!rows)
        fail(q);
    return rows;
}

std::optional<QList<ViewerDatabase::Channel>> ViewerDatabase::channelsByNumber(qint64 number)
{
    return channels(
        QStringLiteral("SELECT CHANNELNUM, NAME FROM CHANNELS WHERE CHANNELNUM = ? ORDER BY rowid"),
        number);
}

std::optional<QList<ViewerDatabase::Channel>> ViewerDatabase::channelsByName(const QString& name)
{
    return channels(
        QStringLiteral("SELECT CHANNELNUM, NAME FROM CHANNELS WHERE trim(NAME) = ? ORDER BY rowid"),
        textParam(name));
}

std::optional<QList<ViewerDatabase::ChannelKeys>> ViewerDatabase::channelKeysByNumber(qint64 number)
{
    if (!ready())
        return std::nullopt;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT CHANNELNUM, SOURCEID, NID, SID FROM CHANNELS "
                             "WHERE CHANNELNUM = ? ORDER BY rowid"));
    q.addBindValue(number);
    if (!q.exec()) {
        fail(q);
        return std::nullopt;
    }
    auto rows = collect<ChannelKeys>(q, [](QSqlQuery& r) {
        return ChannelKeys{textOf(r.value(0)), textOf(r.value(1)).trimmed(), r.value(2),
                           r.value(3)};
    });
    if (!rows)
        fail(q);
    return rows;
}

namespace {

const QString kAppendRecord = QStringLiteral(
    "INSERT INTO RECORD (SOURCEID, NID, SID, STARTTIME, ENDTIME, CHARID, SHORTDESC, LONGDESC, "
    "PRERECORD, POSTRECORD) VALUES (?, ?, ?, ?, ?, 0, ?, ?, ?, ?)");

void bindRecord(QSqlQuery& q, const ViewerDatabase::NewRecord& r)
{
    q.bindValue(0, r.sourceId);
    q.bindValue(1, r.nid);
    q.bindValue(2, r.sid);
    q.bindValue(3, r.startTime);
    q.bindValue(4, r.endTime);
    q.bindValue(5, r.shortDesc);
    q.bindValue(6, r.longDesc);
    q.bindValue(7, r.preRecord);
    q.bindValue(8, r.postRecord);
}

} // namespace

bool ViewerDatabase::appendRecord(const NewRecord& record)
{
    return appendRecords({record}) == 1;
}

int ViewerDatabase::appendRecords(const QList<NewRecord>& records, Writer writer)
{
    if (!ready())
        return 0;
    if (writer == Writer::Native) {
        int appended = 0;
        QSqlError error;
        switch (RecordAppender::append(db().driver()->handle(), kAppendRecord, records, appended,
                                       error)) {
        case LoadReader::Result::Done:
            return appended;
        case LoadReader::Result::Failed:
            fail(error);
            return appended;
        case LoadReader::Result::NoHandle:
            break;
        }
    }
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.prepare(kAppendRecord)) {
        fail(q);
        return 0;
    }
    int n = 0;
    for (const NewRecord& r : records) {
        bindRecord(q, r);
        if (!q.exec()) {
            fail(q);
            break;
        }
        ++n;
    }
    return n;
}

bool ViewerDatabase::beginWrite()
{
    if (!ready())
        return false;
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return fail(q);
    return true;
}

bool ViewerDatabase::commitWrite()
{
    if (!ready()) {
        // The file is gone: whatever is pending can no longer reach the viewer.
        const QString reason = m_lastError;
        rollbackWrite();
        m_lastError = reason;
        return false;
    }
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("COMMIT"))) {
        fail(q);
        const QString reason = m_lastError;
        rollbackWrite();
        m_lastError = reason;
        return false;
    }
    return true;
}

void ViewerDatabase::rollbackWrite()
{
    if (!isOpen())
        return;
    // Fails harmlessly when the engine has already rolled the transaction back.
    QSqlQuery q(db());
    q.exec(QStringLiteral("ROLLBACK"));
}

} // namespace dorvel
