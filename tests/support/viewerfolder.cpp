#include "viewerfolder.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <stdexcept>

namespace dorvel::test {

std::optional<QStringList> queryRows(const QString& path, const QString& sql,
                                     const QVariantList& values)
{
    // A short-lived connection of its own, so that nothing stays open on the file.
    const QString name = QUuid::createUuid().toString();
    std::optional<QStringList> result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.prepare(sql)) {
            for (const QVariant& v : values)
                q.addBindValue(v);
            if (q.exec()) {
                result.emplace();
                while (q.next()) {
                    QStringList row;
                    for (int i = 0; i < q.record().count(); ++i)
                        row << q.value(i).toString();
                    result->append(row.join(QLatin1Char('|')));
                }
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

namespace {

QStringList exec(const QString& path, const QString& sql, const QVariantList& values = {})
{
    const auto rows = queryRows(path, sql, values);
    if (!rows)
        throw std::runtime_error("test database statement failed: " + sql.toStdString());
    return *rows;
}

void write(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace

ViewerFolder ViewerFolder::create(const QString& rootIn, int recordColumns,
                                  const QByteArray& iniContent)
{
    ViewerFolder v;
    v.root = rootIn.endsWith(QLatin1Char('/')) ? rootIn : rootIn + QLatin1Char('/');
    QDir().mkpath(v.root + QStringLiteral("Database"));
    v.exe = v.root + QStringLiteral("Orbivu.EXE");
    v.ini = v.root + QStringLiteral("settings.ini");
    v.db = v.root + QStringLiteral("Database/Orbivu.mdb");
    write(v.exe, "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(v.exe, QFile::permissions(v.exe) | QFileDevice::ExeOwner);
    write(v.ini, iniContent);
    exec(v.db, QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID INTEGER, "
                              "SID INTEGER, SOURCEID INTEGER)"));
    exec(v.db, QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID INTEGER, "
                              "STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, LONGDESC TEXT, "
                              "CHARID INTEGER%1)")
                   .arg(recordColumns >= 10 ? QStringLiteral(", PRERECORD INTEGER, "
                                                             "POSTRECORD INTEGER")
                                            : QString()));
    return v;
}

void ViewerFolder::addChannel(int num, const QString& name) const
{
    exec(db, QStringLiteral("INSERT INTO CHANNELS VALUES(?, ?, ?, ?, ?)"),
         {num, name, num, num, num});
}

void ViewerFolder::addRecord(int channel, const QString& start, const QString& end,
                             const QString& title, const QString& longDesc, int pre, int post) const
{
    exec(db, QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"),
         {channel, channel, channel, start, end, title, longDesc, pre, post});
}

int ViewerFolder::recordCount() const
{
    return exec(db, QStringLiteral("SELECT count(*) FROM RECORD")).value(0).toInt();
}

} // namespace dorvel::test
