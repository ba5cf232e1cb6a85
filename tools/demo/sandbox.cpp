#include "sandbox.h"

#include "demoschedule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <functional>

namespace dorvel::demo {

namespace {

// The scheduler waits this long for the viewer's write lock before it gives up; the same
// holds here, so that an entry can be added while dorvel or the viewer has the file open.
const QString kConnectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000");

// Runs work on a connection of its own and removes the connection afterwards.
QString withDatabase(const QString& path, const std::function<QString(QSqlDatabase&)>& work)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return QStringLiteral("the Qt SQLite driver (QSQLITE) is not installed");
    const QString name = QStringLiteral("dorvel-demo-") + QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(kConnectOptions);
        if (!db.open())
            error = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text());
        else
            error = work(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

QString failed(const QSqlQuery& q, const QString& what)
{
    return QStringLiteral("%1 failed: %2").arg(what, q.lastError().text());
}

QString writeFile(const QString& path, const QByteArray& content)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    return {};
}

QByteArray settingsIni(const QString& recordings)
{
    // The viewer's own file: CR LF line ends and lines the scheduler has to read past.
    const QStringList lines = {
        QStringLiteral("[Orbivu]"),
        QStringLiteral("Version=2.6.1"),
        QStringLiteral("Language=Deutsch"),
        QStringLiteral("LastChannel=1"),
        QStringLiteral("WindowPos=120,80,800,600"),
        QStringLiteral("RecordDirectory=") + recordings,
        QStringLiteral("RecordFormat=TS"),
        QStringLiteral("PrerecordMinutes=1"),
        QStringLiteral("PostrecordMinutes=1"),
        QStringLiteral("TimeshiftMinutes=30"),
        QStringLiteral("\"OSDFont=Sans\", OSDSize=12"),
        QString(),
        QStringLiteral("[LNB]"),
        QStringLiteral("LOF1=9750"),
        QStringLiteral("LOF2=10600"),
        QStringLiteral("Switch=11700"),
    };
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

QString createDatabase(const QString& path, const QList<Channel>& channels,
                       const QList<Entry>& entries)
{
    return withDatabase(path, [&](QSqlDatabase& db) -> QString {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, "
                                   "NID INTEGER, SID INTEGER, SOURCEID INTEGER)")))
            return failed(q, QStringLiteral("creating CHANNELS"));
        if (!q.exec(
                QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID INTEGER, "
                               "STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, LONGDESC TEXT, "
                               "CHARID INTEGER, PRERECORD INTEGER, POSTRECORD INTEGER)")))
            return failed(q, QStringLiteral("creating RECORD"));
        if (!db.transaction())
            return QStringLiteral("cannot begin a transaction: %1").arg(db.lastError().text());
        auto rollback = [&db](const QString& error) {
            db.rollback();
            return error;
        };
        q.prepare(QStringLiteral("INSERT INTO CHANNELS(CHANNELNUM, NAME, NID, SID, SOURCEID) "
                                 "VALUES(?, ?, ?, ?, ?)"));
        for (const Channel& c : channels) {
            q.addBindValue(c.number);
            q.addBindValue(c.name);
            q.addBindValue(c.nid);
            q.addBindValue(c.sid);
            q.addBindValue(c.sourceId);
            if (!q.exec())
                return rollback(failed(q, QStringLiteral("adding channel ") + c.name));
        }
        QHash<int, const Channel*> byNumber;
        for (const Channel& c : channels)
            byNumber.insert(c.number, &c);
        q.prepare(QStringLiteral("INSERT INTO RECORD(NID, SID, SOURCEID, STARTTIME, ENDTIME, "
                                 "SHORTDESC, LONGDESC, CHARID, PRERECORD, POSTRECORD) "
                                 "VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
        for (const Entry& e : entries) {
            const Channel* c = byNumber.value(e.channel);
            q.addBindValue(c->nid);
            q.addBindValue(c->sid);
            q.addBindValue(c->sourceId);
            q.addBindValue(formatDbTime(e.start));
            q.addBindValue(formatDbTime(e.end));
            q.addBindValue(e.title);
            // Never NULL: the scheduler finds a started entry by its texts.
            q.addBindValue(e.longDesc.isNull() ? QStringLiteral("") : e.longDesc);
            q.addBindValue(e.pre);
            q.addBindValue(e.post);
            if (!q.exec())
                return rollback(failed(q, QStringLiteral("adding entry ") + e.title));
        }
        if (!db.commit())
            return rollback(QStringLiteral("cannot commit: %1").arg(db.lastError().text()));
        return {};
    });
}

QString writeDorvelSettings(const QString& path, const QString& database, const QString& language)
{
    // A fresh file: with --force, keys of an earlier run must not survive.
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return QStringLiteral("cannot replace %1").arg(path);
    QSettings s(path, QSettings::IniFormat);
    s.beginGroup(QStringLiteral("Startup"));
    s.setValue(QStringLiteral("OrbivuDBPath"), database);
    s.setValue(QStringLiteral("Language"), language);
    s.setValue(QStringLiteral("SaveLog"), QStringLiteral("1"));
    s.setValue(QStringLiteral("ShutDownType"), QStringLiteral("Never"));
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError)
        return QStringLiteral("cannot write %1").arg(path);
    return {};
}

QString copyStandin(const QString& from, const QString& to)
{
    if (QFileInfo::exists(to) && !QFile::remove(to))
        return QStringLiteral("cannot replace %1").arg(to);
    // A real copy: the scheduler recognises the viewer by the path of the running executable.
    QFile source(from);
    if (!source.copy(to))
        return QStringLiteral("cannot copy %1 to %2: %3").arg(from, to, source.errorString());
    QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                  QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                  QFileDevice::ExeOther);
    return {};
}

} // namespace

bool isDbTime(const QString& text)
{
    return text.size() == 16 && text.at(10) == QLatin1Char(' ') &&
           QDate::fromString(text.left(10), QStringLiteral("yyyy.MM.dd")).isValid() &&
           QTime::fromString(text.mid(11), QStringLiteral("HH:mm")).isValid();
}

QString createSandbox(const SandboxOptions& options, Sandbox& out)
{
    if (options.folder.isEmpty())
        return QStringLiteral("no folder given");
    const QFileInfo rootInfo(options.folder);
    out.root = QDir::cleanPath(rootInfo.absoluteFilePath());
    // The scheduler finds the viewer by cutting the database path before its first
    // "database"; settings.ini is split at commas and at line ends.
    if (out.root.contains(QStringLiteral("database"), Qt::CaseInsensitive))
        return QStringLiteral("%1: the path must not contain \"database\" (dorvel would look "
                              "for the viewer there)")
            .arg(out.root);
    if (out.root.contains(QLatin1Char(',')) || out.root.contains(QLatin1Char('\n')) ||
        out.root.contains(QLatin1Char('\r')))
        return QStringLiteral("%1: the path must not contain a comma or a line break (the "
                              "viewer's settings.ini cannot hold it)")
            .arg(out.root);
    if (rootInfo.exists() && !rootInfo.isDir())
        return QStringLiteral("%1 exists and is not a folder").arg(out.root);
    if (rootInfo.isDir() && !options.force &&
        !QDir(out.root).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                QDir::System))
        return QStringLiteral("%1 exists and is not empty; choose another folder or use --force")
            .arg(out.root);
    const QFileInfo standin(options.standin);
    if (!standin.isFile() || !standin.isExecutable())
        return QStringLiteral("stand-in viewer %1 not found or not executable (use --standin)")
            .arg(options.standin);
    if (options.entries && (*options.entries < 0 || *options.entries > kMaxEntries))
        return QStringLiteral("--entries must be between 0 and %1").arg(kMaxEntries);

    out.viewerFolder = out.root + QStringLiteral("/viewer");
    out.exe = out.viewerFolder + QStringLiteral("/Orbivu.EXE");
    out.ini = out.viewerFolder + QStringLiteral("/settings.ini");
    out.database = out.viewerFolder + QStringLiteral("/Database/Orbivu.mdb");
    out.recordings = out.root + QStringLiteral("/recordings");
    out.config = out.root + QStringLiteral("/config/Dorvel/Dorvel.conf");

    for (const QString& dir : {out.viewerFolder + QStringLiteral("/Database"), out.recordings,
                               QFileInfo(out.config).path()}) {
        if (!QDir().mkpath(dir))
            return QStringLiteral("cannot create folder %1").arg(dir);
    }
    if (QString e = copyStandin(standin.absoluteFilePath(), out.exe); !e.isEmpty())
        return e;
    if (QString e = writeFile(out.ini, settingsIni(out.recordings + QLatin1Char('/')));
        !e.isEmpty())
        return e;

    const QList<Channel> channels = demoChannels();
    const QDateTime now =
        wallClock(options.now.isValid() ? options.now : QDateTime::currentDateTime());
    const QList<Entry> entries =
        options.entries ? bulkEntries(now, channels, *options.entries) : demoEntries(now, channels);
    if (QFileInfo::exists(out.database) && !QFile::remove(out.database))
        return QStringLiteral("cannot replace %1").arg(out.database);
    if (QString e = createDatabase(out.database, channels, entries); !e.isEmpty())
        return e;
    out.entryCount = int(entries.size());
    out.firstLaunch = entries.isEmpty() ? QDateTime() : entries.first().recordingStart();

    return writeDorvelSettings(out.config, out.database, options.language);
}

QString addEntry(const NewEntry& entry, qint64* rowId)
{
    if (!isDbTime(entry.start) || !isDbTime(entry.end))
        return QStringLiteral("times must be valid and in the form yyyy.MM.dd HH:mm: \"%1\" \"%2\"")
            .arg(entry.start, entry.end);
    // Opening a missing file would create an empty database instead of failing.
    if (!QFileInfo(entry.database).isFile())
        return QStringLiteral("database %1 not found").arg(entry.database);
    return withDatabase(entry.database, [&](QSqlDatabase& db) -> QString {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT NID, SID, SOURCEID FROM CHANNELS WHERE CHANNELNUM = ? "
                                 "ORDER BY rowid LIMIT 1"));
        q.addBindValue(entry.channel);
        if (!q.exec())
            return failed(q, QStringLiteral("looking up the channel"));
        if (!q.next())
            return QStringLiteral("channel %1 is not in CHANNELS").arg(entry.channel);
        const QVariant nid = q.value(0), sid = q.value(1), sourceId = q.value(2);
        q.finish();
        q.prepare(QStringLiteral("INSERT INTO RECORD(NID, SID, SOURCEID, STARTTIME, ENDTIME, "
                                 "SHORTDESC, LONGDESC, CHARID, PRERECORD, POSTRECORD) "
                                 "VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
        for (const QVariant& v :
             {nid, sid, sourceId, QVariant(entry.start), QVariant(entry.end), QVariant(entry.title),
              QVariant(entry.longDesc.isNull() ? QStringLiteral("") : entry.longDesc),
              QVariant(entry.pre), QVariant(entry.post)})
            q.addBindValue(v);
        if (!q.exec())
            return failed(q, QStringLiteral("adding the entry"));
        if (rowId)
            *rowId = q.lastInsertId().toLongLong();
        return QString();
    });
}

} // namespace dorvel::demo
