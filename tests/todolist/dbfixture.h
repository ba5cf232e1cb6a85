#pragma once

// A viewer database file on a connection of its own, like the viewer's at the same time.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace dorvel::test {

class DbFixture {
public:
    // recordColumns: 10 is the current RECORD, 8 the old one, 0 a file that has its tables.
    explicit DbFixture(const QString& path, int recordColumns = 10)
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        d.setDatabaseName(path);
        d.open();
        if (recordColumns == 0)
            return;
        run("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID INTEGER, SID INTEGER, "
            "SOURCEID INTEGER)");
        run(QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID INTEGER, "
                           "STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, LONGDESC TEXT, "
                           "CHARID INTEGER%1)")
                .arg(recordColumns == 8 ? "" : ", PRERECORD INTEGER, POSTRECORD INTEGER"));
    }
    ~DbFixture()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }

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
        while (q.next())
            for (int i = 0; i < q.record().count(); ++i)
                (i ? out.last() : out.emplaceBack()) << q.value(i);
        return out;
    }
    // One text per row, its columns joined by '|'.
    QStringList texts(const QString& sql)
    {
        QStringList out;
        for (const QVariantList& row : rows(sql)) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << v.toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    int count() { return rows("SELECT count(*) FROM RECORD").value(0).value(0).toInt(); }

    // Channel keys NID = SID = SOURCEID = num.
    void channel(int num, const QString& name)
    {
        run("INSERT INTO CHANNELS VALUES(?, ?, ?, ?, ?)", {num, name, num, num, num});
    }
    void record(int channel, const QVariant& start, const QVariant& end, const QVariant& title,
                const QVariant& pre = 0, const QVariant& post = 0, const QVariant& longDesc = "")
    {
        run("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)",
            {channel, channel, channel, start, end, title, longDesc, pre, post});
    }

private:
    static inline int s_count = 0;
    QString m_name = QStringLiteral("fixture%1").arg(++s_count);
};

} // namespace dorvel::test
