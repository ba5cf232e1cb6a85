// The viewer database's statements against real SQLite files.

#include "viewerdb.h"
#include "viewerfolder.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using dorvel::test::ViewerFolder;

namespace {

// A second connection of its own, like the viewer holding the file at the same time.
class Peer {
public:
    explicit Peer(const QString& path) : m_name(QStringLiteral("peer%1").arg(++s_count))
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        d.setDatabaseName(path);
        d.open();
    }
    ~Peer()
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
            qWarning() << sql << q.lastError().text();
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

private:
    static inline int s_count = 0;
    QString m_name;
};

} // namespace

class TestViewerDb : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_folder = ViewerFolder::create(m_dir.path() + QStringLiteral("/v%1").arg(++m_n));
    }

    void takeFirstRecordDeletesOnlyTheFirstMatch_data();
    void takeFirstRecordDeletesOnlyTheFirstMatch();
    void takeAndRestoreKeepEveryColumn();
    void takeFindsNothing();

private:
    QTemporaryDir m_dir;
    ViewerFolder m_folder;
    int m_n = 0;
};

void TestViewerDb::takeFirstRecordDeletesOnlyTheFirstMatch_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("longDesc");
    QTest::newRow("plain") << "News"
                           << "";
    QTest::newRow("double quote") << "The \"Big\" Show"
                                  << "say \"\"hi\"\"";
    QTest::newRow("single quote and percent") << "Tom's 100% ' OR '1'='1"
                                              << "%_";
    QTest::newRow("emoji") << QString::fromUtf8("Film \xF0\x9F\x8E\xAC") << "x";
    QTest::newRow("long title") << QString(10000, QLatin1Char('t'))
                                << QString(5000, QLatin1Char('l'));
}

void TestViewerDb::takeFirstRecordDeletesOnlyTheFirstMatch()
{
    QFETCH(QString, title);
    QFETCH(QString, longDesc);
    m_folder.addRecord(1, "2026.12.05 20:15", "2026.12.05 21:00", title, longDesc, 1, 2);
    m_folder.addRecord(1, "2026.12.05 20:15", "2026.12.05 21:00", title, longDesc, 3, 4);
    m_folder.addRecord(1, "2026.12.05 20:15", "2026.12.05 21:00", title + "x", longDesc, 5, 6);
    ViewerDatabase db(QStringLiteral("t1"));
    QVERIFY(db.open(m_folder.db));
    const auto taken = db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", title, longDesc);
    QVERIFY2(taken.has_value(), qPrintable(db.lastError()));
    QCOMPARE(taken->value("PRERECORD").toInt(), 1);
    QCOMPARE(taken->value("SHORTDESC").toString(), title);
    Peer peer(m_folder.db);
    const auto left = peer.rows("SELECT PRERECORD FROM RECORD ORDER BY rowid");
    QCOMPARE(left.size(), 2);
    QCOMPARE(left.at(0).at(0).toInt(), 3);
    QCOMPARE(left.at(1).at(0).toInt(), 5);
}

void TestViewerDb::takeAndRestoreKeepEveryColumn()
{
    Peer peer(m_folder.db);
    // NULLs, a text in a number column, a real and integers: each must come back as it was.
    peer.run("INSERT INTO RECORD VALUES(7, 'x8', 9.5, '2026.12.05 20:15', '2026.12.05 21:00', 'A', "
             "NULL, 3, NULL, 5)");
    const QString everyColumn = QStringLiteral(
        "SELECT quote(NID), quote(SID), quote(SOURCEID), quote(STARTTIME), quote(ENDTIME), "
        "quote(SHORTDESC), quote(LONGDESC), quote(CHARID), quote(PRERECORD), quote(POSTRECORD), "
        "typeof(NID), typeof(SID), typeof(SOURCEID) FROM RECORD");
    ViewerDatabase db(QStringLiteral("t2"));
    QVERIFY(db.open(m_folder.db));
    // LONGDESC NULL never equals a text: the row cannot be found by an empty description.
    QVERIFY(!db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "A", "").has_value());
    QCOMPARE(m_folder.recordCount(), 1);
    peer.run("UPDATE RECORD SET LONGDESC = ''");
    const auto before = peer.rows(everyColumn);
    const auto taken = db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "A", "");
    QVERIFY2(taken.has_value(), qPrintable(db.lastError()));
    QCOMPARE(taken->count(), 10);
    QCOMPARE(m_folder.recordCount(), 0);
    QVERIFY2(db.restoreRecord(*taken), qPrintable(db.lastError()));
    const auto after = peer.rows(everyColumn);
    QCOMPARE(after, before);
    QCOMPARE(after.at(0).at(8).toString(), QStringLiteral("NULL"));
    QCOMPARE(after.at(0).at(11).toString(), QStringLiteral("text"));
    QCOMPARE(after.at(0).at(12).toString(), QStringLiteral("real"));
}

void TestViewerDb::takeFindsNothing()
{
    m_folder.addRecord(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    ViewerDatabase db(QStringLiteral("t3"));
    QVERIFY(db.open(m_folder.db));
    // Times are compared as exact text: a differently written time is another entry.
    QVERIFY(!db.takeFirstRecord("2026.12.5 20:15", "2026.12.05 21:00", "A", "").has_value());
    QVERIFY(!db.lastError().isEmpty());
    QCOMPARE(m_folder.recordCount(), 1);
}

QTEST_GUILESS_MAIN(TestViewerDb)
#include "tst_viewerdb.moc"
