#include "viewerfolder.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <stdexcept>

namespace dorvel::test {

namespace {

// Runs statements on a short-lived connection of its own.
template <typename F> auto withDb(const QString& path, F&& f)
{
    const QString name = QUuid::createUuid().toString();
    struct Cleanup {
        QString name;
        ~Cleanup() { QSqlDatabase::removeDatabase(name); }
    } cleanup{name};
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.open())
        throw std::runtime_error("cannot open test database");
    auto result = f(db);
    db.close();
    return result;
}

void exec(QSqlQuery& q)
{
    if (!q.exec())
        throw std::runtime_error(q.lastError().text().toStdString());
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
    QFile exe(v.exe);
    exe.open(QIODevice::WriteOnly);
    exe.write("#!/bin/sh\nexit 0\n");
    exe.close();
    exe.setPermissions(exe.permissions() | QFileDevice::ExeOwner);
    QFile ini(v.ini);
    ini.open(QIODevice::WriteOnly);
    ini.write(iniContent);
    ini.close();
    withDb(v.db, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(
            QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID INTEGER, "
                           "SID INTEGER, SOURCEID INTEGER)"));
        exec(q);
        QString record =
            QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID INTEGER, "
                           "STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, LONGDESC TEXT, "
                           "CHARID INTEGER");
        if (recordColumns >= 10)
            record += QStringLiteral(", PRERECORD INTEGER, POSTRECORD INTEGER");
        q.prepare(record + QLatin1Char(')'));
        exec(q);
        return 0;
    });
    return v;
}

void ViewerFolder::addChannel(int num, const QString& name) const
{
    withDb(db, [&](QSqlDatabase& d) {
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO CHANNELS VALUES(?, ?, ?, ?, ?)"));
        for (const QVariant& v :
             {QVariant(num), QVariant(name), QVariant(num), QVariant(num), QVariant(num)})
            q.addBindValue(v);
        exec(q);
        return 0;
    });
}

void ViewerFolder::addRecord(int channel, const QString& start, const QString& end,
                             const QString& title, const QString& longDesc, int pre, int post) const
{
    withDb(db, [&](QSqlDatabase& d) {
        QSqlQuery q(d);
        q.prepare(QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
        for (const QVariant& v :
             {QVariant(channel), QVariant(channel), QVariant(channel), QVariant(start),
              QVariant(end), QVariant(title), QVariant(longDesc), QVariant(pre), QVariant(post)})
            q.addBindValue(v);
        exec(q);
        return 0;
    });
}

int ViewerFolder::recordCount() const
{
    return withDb(db, [&](QSqlDatabase& d) {
        QSqlQuery q(d);
        q.prepare(QStringLiteral("SELECT count(*) FROM RECORD"));
        exec(q);
        q.next();
        return q.value(0).toInt();
    });
}

} // namespace dorvel::test
