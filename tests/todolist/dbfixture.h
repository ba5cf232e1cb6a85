#pragma once

// A viewer database file for the to-do list tests, reached through a connection of its own
// (like the viewer, which holds the same file at the same time).

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

namespace dorvel::test {

class DbFixture {
public:
    // recordColumns: 10 is the current RECORD, 8 the old one; more adds extra columns.
    DbFixture(const QString& path, int recordColumns = 10,
              const QString& channelsDdl = QStringLiteral(
                  "CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID INTEGER, SID INTEGER, "
                  "SOURCEID INTEGER)"))
        : m_path(path), m_name(QStringLiteral("fixture%1").arg(++s_count))
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        d.setDatabaseName(path);
        d.open();
        run(channelsDdl);
        QString record = QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, "
                                        "SOURCEID INTEGER, STARTTIME TEXT, ENDTIME TEXT, "
                                        "SHORTDESC TEXT, LONGDESC TEXT, CHARID INTEGER");
        if (recordColumns >= 10)
            record += QStringLiteral(", PRERECORD INTEGER, POSTRECORD INTEGER");
        for (int i = 11; i <= recordColumns; ++i)
            record += QStringLiteral(", EXTRA%1 TEXT").arg(i);
        run(record + QLatin1Char(')'));
    }
    ~DbFixture()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    DbFixture(const DbFixture&) = delete;
    DbFixture& operator=(const DbFixture&) = delete;

    QString path() const { return m_path; }

    QSqlQuery run(const QString& sql, const QVariantList& values = {})
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        q.prepare(sql);
        for (const QVariant& v : values)
            q.addBindValue(v);
        if (!q.exec())
            qWarning("fixture: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }
    QList<QVariantList> rows(const QString& sql)
    {
        QSqlQuery q = run(sql);
        QList<QVariantList> out;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            out << row;
        }
        return out;
    }
    int count(const QString& where = QString())
    {
        const auto r = rows(QStringLiteral("SELECT count(*) FROM RECORD ") + where);
        return r.isEmpty() ? -1 : r.first().first().toInt();
    }

    // Channel keys NID = SID = SOURCEID = num.
    void channel(int num, const QString& name)
    {
        run(QStringLiteral("INSERT INTO CHANNELS VALUES(?, ?, ?, ?, ?)"),
            {num, name, num, num, num});
    }
    // pre/post: a null QVariant stores NULL.
    void record(int channel, const QString& start, const QString& end, const QString& title,
                const QVariant& pre = 0, const QVariant& post = 0,
                const QString& longDesc = QString())
    {
        run(QStringLiteral("INSERT INTO RECORD (NID, SID, SOURCEID, STARTTIME, ENDTIME, SHORTDESC, "
                           "LONGDESC, CHARID, PRERECORD, POSTRECORD) "
                           "VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"),
            {channel, channel, channel, start, end, title,
             longDesc.isNull() ? QString("") : longDesc, pre, post});
    }

private:
    static inline int s_count = 0;
    QString m_path;
    QString m_name;
};

} // namespace dorvel::test
