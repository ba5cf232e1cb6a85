// The viewer database's statements against real SQLite files.

#include "dbfixture.h"
#include "viewerdb.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using dorvel::test::DbFixture;

class TestViewerDb : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n));
    }

    void takeFirstRecordDeletesOnlyTheFirstMatch_data();
    void takeFirstRecordDeletesOnlyTheFirstMatch();
    void takeAndRestoreKeepEveryColumn();
    void takeFindsNothing();
    void updateFirstRecord_data();
    void updateFirstRecord();
    void updateFindsNoRow();
    void columnCountAndUpgrade();
    void upgradeFailsWhenAColumnExists();
    void loadJoinsOnAllThreeKeys();
    void loadMatchesKeysStoredAsText();
    void channelQueries();
    void appendRecordWritesEveryColumn();
    void failuresHaveAReason_data();
    void failuresHaveAReason();

private:
    QTemporaryDir m_dir;
    QString m_path;
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
    DbFixture f(m_path);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", title + "x", 9, 9, longDesc);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", title, 1, 2, longDesc);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", title, 3, 4, longDesc);
    ViewerDatabase db(QStringLiteral("t1"));
    QVERIFY(db.open(m_path));
    const auto taken = db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", title, longDesc);
    QVERIFY2(taken.has_value(), qPrintable(db.lastError()));
    QCOMPARE(taken->value("PRERECORD").toInt(), 1);
    QCOMPARE(taken->value("SHORTDESC").toString(), title);
    const auto left = f.rows("SELECT PRERECORD FROM RECORD ORDER BY rowid");
    QCOMPARE(left.size(), 2);
    QCOMPARE(left.at(0).at(0).toInt(), 9);
    QCOMPARE(left.at(1).at(0).toInt(), 3);
}

void TestViewerDb::takeAndRestoreKeepEveryColumn()
{
    DbFixture f(m_path);
    // NULLs, a text in a number column, a real and integers: each must come back as it was.
    f.run("INSERT INTO RECORD VALUES(7, 'x8', 9.5, '2026.12.05 20:15', '2026.12.05 21:00', 'A', "
          "NULL, 3, NULL, 5)");
    const QString everyColumn = QStringLiteral(
        "SELECT quote(NID), quote(SID), quote(SOURCEID), quote(STARTTIME), quote(ENDTIME), "
        "quote(SHORTDESC), quote(LONGDESC), quote(CHARID), quote(PRERECORD), quote(POSTRECORD), "
        "typeof(NID), typeof(SID), typeof(SOURCEID) FROM RECORD");
    const auto before = f.rows(everyColumn);
    ViewerDatabase db(QStringLiteral("t2"));
    QVERIFY(db.open(m_path));
    // The list shows NULL as an empty cell; the entry must still be found by it.
    const auto taken = db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "A", "");
    QVERIFY2(taken.has_value(), qPrintable(db.lastError()));
    QCOMPARE(taken->count(), 10);
    QCOMPARE(f.count(), 0);
    QVERIFY2(db.restoreRecord(*taken), qPrintable(db.lastError()));
    const auto after = f.rows(everyColumn);
    QCOMPARE(after, before);
    QCOMPARE(after.at(0).at(6).toString(), QStringLiteral("NULL"));
    QCOMPARE(after.at(0).at(11).toString(), QStringLiteral("text"));
    QCOMPARE(after.at(0).at(12).toString(), QStringLiteral("real"));
}

void TestViewerDb::takeFindsNothing()
{
    DbFixture f(m_path);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    ViewerDatabase db(QStringLiteral("t3"));
    QVERIFY(db.open(m_path));
    // Times are compared as exact text: a differently written time is another entry, and a
    // LIKE pattern matches nothing.
    QVERIFY(!db.takeFirstRecord("2026.12.5 20:15", "2026.12.05 21:00", "A", "").has_value());
    QVERIFY(!db.lastError().isEmpty());
    QVERIFY(!db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "%", "").has_value());
    QVERIFY(!db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "a", "").has_value());
    QCOMPARE(f.count(), 1);
}

void TestViewerDb::updateFirstRecord_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("expected"); // quote() of the column in the first row afterwards
    using R = ViewerDatabase::UpdateResult;
    QTest::newRow("lead") << "PRERECORD"
                          << "10" << int(R::Updated) << "10";
    QTest::newRow("lead with blanks") << "PRERECORD"
                                      << " 7 " << int(R::Updated) << "7";
    QTest::newRow("lead letters kept") << "PRERECORD"
                                       << "abc" << int(R::KeptOld) << "2";
    QTest::newRow("lead empty kept") << "PRERECORD"
                                     << "" << int(R::KeptOld) << "2";
    QTest::newRow("lead fraction kept") << "PRERECORD"
                                        << "2.5" << int(R::KeptOld) << "2";
    QTest::newRow("lead beyond 32 bits kept") << "PRERECORD"
                                              << "4294967296" << int(R::KeptOld) << "2";
    QTest::newRow("trail") << "POSTRECORD"
                           << "-3" << int(R::Updated) << "-3";
    QTest::newRow("title with quotes")
        << "SHORTDESC"
        << "It's \"x\"; DROP TABLE RECORD" << int(R::Updated) << "'It''s \"x\"; DROP TABLE RECORD'";
    QTest::newRow("start") << "STARTTIME"
                           << "2026.12.05 20:30" << int(R::Updated) << "'2026.12.05 20:30'";
    QTest::newRow("not editable") << "CHARID"
                                  << "5" << int(R::KeptOld) << "0";
    QTest::newRow("name with statement") << "PRERECORD = 1 --"
                                         << "5" << int(R::KeptOld) << "2";
}

void TestViewerDb::updateFirstRecord()
{
    QFETCH(QString, column);
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QString, expected);
    DbFixture f(m_path);
    f.record(1, "2026.12.05 20:00", "2026.12.05 21:00", "other", 1, 1);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "first", 2, 2);
    f.record(2, "2026.12.05 20:15", "2026.12.05 21:00", "second", 2, 2);
    ViewerDatabase db(QStringLiteral("t4"));
    QVERIFY(db.open(m_path));
    QCOMPARE(int(db.updateFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", column, text)),
             result);
    const QString target = column.contains(' ') ? QStringLiteral("PRERECORD") : column;
    const auto rows =
        f.rows(QStringLiteral("SELECT quote(%1) FROM RECORD ORDER BY rowid").arg(target));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(1).at(0).toString(), expected);
    // The second row with the same times and the unrelated row stay as they were.
    QCOMPARE(f.rows("SELECT SHORTDESC, PRERECORD, POSTRECORD FROM RECORD WHERE rowid = 3").first(),
             (QVariantList{"second", 2, 2}));
    QCOMPARE(f.rows("SELECT SHORTDESC, PRERECORD FROM RECORD WHERE rowid = 1").first(),
             (QVariantList{"other", 1}));
}

void TestViewerDb::updateFindsNoRow()
{
    DbFixture f(m_path);
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A", 2, 2);
    ViewerDatabase db(QStringLiteral("t5"));
    QVERIFY(db.open(m_path));
    using R = ViewerDatabase::UpdateResult;
    QCOMPARE(db.updateFirstRecord("2026.12.05 20:16", "2026.12.05 21:00", "PRERECORD", "5"),
             R::NotFound);
    QCOMPARE(db.updateFirstRecord("2026.12.05 20:16", "2026.12.05 21:00", "PRERECORD", "x"),
             R::NotFound);
    QCOMPARE(f.rows("SELECT PRERECORD FROM RECORD").first().first().toInt(), 2);
}

void TestViewerDb::columnCountAndUpgrade()
{
    DbFixture f(m_path, 8);
    f.run("INSERT INTO RECORD VALUES(1, 1, 1, '2026.12.05 20:15', '2026.12.05 21:00', 'A', '', 0)");
    ViewerDatabase db(QStringLiteral("t6"));
    QVERIFY(db.open(m_path));
    QCOMPARE(db.recordColumnCount(), std::optional<int>(8));
    QVERIFY2(db.upgradeRecordTable(), qPrintable(db.lastError()));
    QCOMPARE(db.recordColumnCount(), std::optional<int>(10));
    // Existing rows have no minutes yet; new ones take integers.
    QCOMPARE(f.rows("SELECT quote(PRERECORD), quote(POSTRECORD) FROM RECORD").first(),
             (QVariantList{"NULL", "NULL"}));
    f.run("UPDATE RECORD SET PRERECORD = '5'");
    QCOMPARE(f.rows("SELECT typeof(PRERECORD) FROM RECORD").first().first().toString(),
             QStringLiteral("integer"));
}

void TestViewerDb::upgradeFailsWhenAColumnExists()
{
    DbFixture f(m_path, 7,
                QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, "
                               "NID INTEGER, SID INTEGER, SOURCEID INTEGER)"));
    f.run("ALTER TABLE RECORD DROP COLUMN CHARID");
    f.run("ALTER TABLE RECORD ADD COLUMN PRERECORD INTEGER");
    ViewerDatabase db(QStringLiteral("t7"));
    QVERIFY(db.open(m_path));
    QCOMPARE(db.recordColumnCount(), std::optional<int>(8));
    QVERIFY(!db.upgradeRecordTable());
    QVERIFY(!db.lastError().isEmpty());
    // The second column is still attempted after the first failed.
    QCOMPARE(db.recordColumnCount(), std::optional<int>(9));
}

void TestViewerDb::loadJoinsOnAllThreeKeys()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    f.channel(2, "Two");
    f.run("INSERT INTO CHANNELS VALUES(3, 'Two', 3, 3, 3)"); // a duplicate name
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "on one", 2, 3, "long");
    f.record(3, "2026.12.05 22:15", "2026.12.05 23:00", "on three");
    // Keys that match no channel: not listed, not touched.
    f.run("INSERT INTO RECORD VALUES(1, 1, 2, '2026.12.05 20:15', '2026.12.05 21:00', 'mixed', "
          "'', 0, 0, 0)");
    f.run("INSERT INTO RECORD VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    f.run("INSERT INTO RECORD VALUES(2, 2, 2, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    ViewerDatabase db(QStringLiteral("t8"));
    QVERIFY(db.open(m_path));
    const auto rows = db.loadEntries();
    QVERIFY2(rows.has_value(), qPrintable(db.lastError()));
    QCOMPARE(rows->size(), 3);
    QList<QStringList> got;
    for (const auto& r : *rows)
        got << QStringList{r.num,       r.channel,  r.startTime, r.endTime,
                           r.shortDesc, r.longDesc, r.preRecord, r.postRecord};
    QVERIFY(got.contains(QStringList{"1", "One", "2026.12.05 20:15", "2026.12.05 21:00", "on one",
                                     "long", "2", "3"}));
    QVERIFY(got.contains(
        QStringList{"3", "Two", "2026.12.05 22:15", "2026.12.05 23:00", "on three", "", "0", "0"}));
    QVERIFY(got.contains(QStringList{"2", "Two", "", "", "", "", "", ""}));
    QCOMPARE(f.count(), 5);
    QCOMPARE(ViewerDatabase::loadFieldNames().size(), 8);
}

void TestViewerDb::loadMatchesKeysStoredAsText()
{
    // A viewer whose CHANNELS keeps its keys as text: the join still pairs 5 with '5'.
    DbFixture f(m_path, 10,
                QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID TEXT, "
                               "SID TEXT, SOURCEID TEXT)"));
    f.run("INSERT INTO CHANNELS VALUES(5, 'Five', '5', '5', ' 5')");
    f.run("INSERT INTO CHANNELS VALUES(6, 'Six', 'x6', '6', '6')");
    f.record(5, "2026.12.05 20:15", "2026.12.05 21:00", "five");
    f.record(6, "2026.12.05 20:15", "2026.12.05 21:00", "six");
    ViewerDatabase db(QStringLiteral("t9"));
    QVERIFY(db.open(m_path));
    const auto rows = db.loadEntries();
    QVERIFY(rows.has_value());
    QCOMPARE(rows->size(), 1);
    QCOMPARE(rows->first().shortDesc, QStringLiteral("five"));
}

void TestViewerDb::channelQueries()
{
    DbFixture f(m_path);
    f.channel(10, "Zeta");
    f.channel(9, "alpha");
    f.channel(100, "Beta");
    f.run("INSERT INTO CHANNELS VALUES(9, 'Beta', 70000, 9, ' 77 ')");
    ViewerDatabase db(QStringLiteral("t10"));
    QVERIFY(db.open(m_path));
    QCOMPARE(db.channelNumbers(), std::optional<QStringList>({"9", "9", "10", "100"}));
    QCOMPARE(db.channelNames(), std::optional<QStringList>({"Beta", "Beta", "Zeta", "alpha"}));
    const auto byNumber = db.channelsByNumber(9);
    QVERIFY(byNumber.has_value());
    QCOMPARE(byNumber->size(), 2);
    QCOMPARE(byNumber->first().name, QStringLiteral("alpha"));
    const auto byName = db.channelsByName("Beta");
    QVERIFY(byName.has_value());
    QCOMPARE(byName->size(), 2);
    QCOMPARE(byName->first().number, QStringLiteral("100"));
    QCOMPARE(db.channelsByName("beta")->size(), 0);
    QCOMPARE(db.channelsByName("' OR ''='")->size(), 0);
    const auto keys = db.channelKeysByNumber(9);
    QVERIFY(keys.has_value());
    QCOMPARE(keys->size(), 2);
    QCOMPARE(keys->at(1).sourceId, QStringLiteral("77"));
    QCOMPARE(keys->at(1).nid.toLongLong(), 70000);
    QCOMPARE(db.channelKeysByNumber(4)->size(), 0);
}

void TestViewerDb::appendRecordWritesEveryColumn()
{
    DbFixture f(m_path);
    ViewerDatabase db(QStringLiteral("t11"));
    QVERIFY(db.open(m_path));
    ViewerDatabase::NewRecord r;
    r.sourceId = "77";
    r.nid = 70000;
    r.sid = 9;
    r.startTime = "2026.12.05 20:15";
    r.endTime = "2026.12.05 21:00";
    r.shortDesc = "It's";
    r.longDesc = "\"long\"";
    r.preRecord = 2;
    r.postRecord = 5;
    QVERIFY2(db.appendRecord(r), qPrintable(db.lastError()));
    QCOMPARE(f.rows("SELECT quote(SOURCEID), NID, SID, STARTTIME, ENDTIME, CHARID, SHORTDESC, "
                    "LONGDESC, PRERECORD, POSTRECORD FROM RECORD")
                 .first(),
             (QVariantList{"77", 70000, 9, "2026.12.05 20:15", "2026.12.05 21:00", 0, "It's",
                           "\"long\"", 2, 5}));
}

void TestViewerDb::failuresHaveAReason_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("words");
    QTest::newRow("vanished") << "remove"
                              << "no longer exists";
    QTest::newRow("damaged") << "garbage"
                             << "damaged";
    QTest::newRow("closed") << "close"
                            << "not open";
}

void TestViewerDb::failuresHaveAReason()
{
    QFETCH(QString, damage);
    QFETCH(QString, words);
    {
        DbFixture f(m_path);
        f.channel(1, "One");
        f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    }
    ViewerDatabase db(QStringLiteral("t12"));
    QVERIFY(db.open(m_path));
    if (damage == "remove") {
        QVERIFY(QFile::remove(m_path));
    } else if (damage == "garbage") {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(QByteArray(4096, 'x'));
    } else {
        db.close();
    }
    QVERIFY(!db.loadEntries().has_value());
    QVERIFY2(db.lastError().contains(words), qPrintable(db.lastError()));
    QVERIFY(!db.recordColumnCount().has_value());
    QVERIFY(!db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "A", "").has_value());
    QCOMPARE(db.updateFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "PRERECORD", "1"),
             ViewerDatabase::UpdateResult::Failed);
    QVERIFY(!db.channelNumbers().has_value());
    QVERIFY(!db.appendRecord({}));
    QVERIFY(!db.lastError().isEmpty());
}

QTEST_GUILESS_MAIN(TestViewerDb)
#include "tst_viewerdb.moc"
