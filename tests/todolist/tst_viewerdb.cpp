// The viewer database's statements against real SQLite files.

#include "dbfixture.h"
#include "viewerdb.h"

#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using dorvel::test::DbFixture;
using R = ViewerDatabase::UpdateResult;
using Rows = QList<QVariantList>;

namespace {
const QString kStart = QStringLiteral("2026.12.05 20:15");
const QString kEnd = QStringLiteral("2026.12.05 21:00");
} // namespace

class TestViewerDb : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
    ViewerDatabase m_db;

private Q_SLOTS:
    void init() { m_path = m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n)); }

    void deleteTakesTheFirstMatchOnly()
    {
        const QString quoted = "The \"Big\" Show", injected = "Tom's 100% ' OR '1'='1";
        DbFixture f(m_path);
        for (const int pre : {9, 1, 3})
            f.record(1, kStart, kEnd, pre == 9 ? quoted + "x" : quoted, pre, 0, "say \"\"hi\"\"");
        f.record(1, kStart, kEnd, injected, 4);
        QVERIFY(m_db.open(m_path));
        const auto take = [&](const QString& title, const QString& longDesc) {
            return m_db.takeFirstRecord(kStart, kEnd, title, longDesc).has_value();
        };
        QVERIFY(take(quoted, "say \"\"hi\"\""));
        QVERIFY(take(injected, ""));
        // Exact text: no LIKE pattern, no case folding.
        QVERIFY(!take("%", "%") && !take("the \"big\" show", "say \"\"hi\"\""));
        QVERIFY(!m_db.lastError().isEmpty());
        QCOMPARE(f.rows("SELECT PRERECORD FROM RECORD ORDER BY rowid"), (Rows{{9}, {3}}));
    }

    void takeAndRestoreKeepEveryColumn()
    {
        DbFixture f(m_path);
        // NULLs, a text and a real in number columns: each must come back as it was.
        f.run("INSERT INTO RECORD VALUES(7, 'x8', 9.5, ?, ?, 'A', NULL, 3, NULL, 5)",
              {kStart, kEnd});
        QVERIFY(m_db.open(m_path));
        // The list shows NULL as an empty cell; the entry must still be found by it.
        const auto taken = m_db.takeFirstRecord(kStart, kEnd, "A", "");
        QVERIFY2(taken.has_value(), qPrintable(m_db.lastError()));
        QCOMPARE(f.rows("SELECT count(*) FROM RECORD"), Rows{{0}});
        QVERIFY2(m_db.restoreRecord(*taken), qPrintable(m_db.lastError()));
        QCOMPARE(f.rows("SELECT quote(NID), quote(SID), quote(SOURCEID), quote(LONGDESC), "
                        "quote(PRERECORD), POSTRECORD FROM RECORD"),
                 (Rows{{"7", "'x8'", "9.5", "NULL", "NULL", 5}}));
    }

    void editTheFirstMatch()
    {
        DbFixture f(m_path);
        f.record(1, "2026.12.05 20:00", kEnd, "other", 1);
        f.record(1, kStart, kEnd, "first", 2);
        f.record(2, kStart, kEnd, "second", 2);
        QVERIFY(m_db.open(m_path));
        const auto edit = [&](const QString& column, const QString& text) {
            return m_db.updateFirstRecord(kStart, kEnd, column, text);
        };
        const QString title = "It's \"x\"; DROP TABLE RECORD";
        QCOMPARE(edit("PRERECORD", " 7 "), R::Updated);
        QCOMPARE(edit("SHORTDESC", title), R::Updated);
        // The row is found, but the text is no number within 32 bits or the name no column.
        QCOMPARE(edit("PRERECORD", "abc"), R::KeptOld);
        QCOMPARE(edit("PRERECORD", "4294967296"), R::KeptOld);
        QCOMPARE(edit("PRERECORD = 1 --", "5"), R::KeptOld);
        QCOMPARE(m_db.updateFirstRecord("2026.12.05 20:16", kEnd, "PRERECORD", "5"), R::NotFound);
        QCOMPARE(f.rows("SELECT SHORTDESC, PRERECORD FROM RECORD ORDER BY rowid"),
                 (Rows{{"other", 1}, {title, 7}, {"second", 2}}));

        // By times and descriptions: the second entry at the same times, not the first.
        QCOMPARE(m_db.updateFirstRecord(kStart, kEnd, "second", "", "POSTRECORD", "9"), R::Updated);
        QCOMPARE(m_db.updateFirstRecord(kStart, kEnd, "gone", "", "POSTRECORD", "9"), R::NotFound);
        QVERIFY(m_db.lastFoundNothing());
        QCOMPARE(f.rows("SELECT SHORTDESC, POSTRECORD FROM RECORD ORDER BY rowid"),
                 (Rows{{"other", 0}, {title, 0}, {"second", 9}}));
    }

    void channelQueriesAndAppend()
    {
        DbFixture f(m_path);
        f.channel(10, "Zeta");
        f.channel(9, "alpha");
        f.run("INSERT INTO CHANNELS VALUES(9, 'Beta', 70000, 9, ' 77 ')");
        QVERIFY(m_db.open(m_path));
        QCOMPARE(m_db.channelNumbers(), std::optional<QStringList>({"9", "9", "10"}));
        QCOMPARE(m_db.channelNames(), std::optional<QStringList>({"Beta", "Zeta", "alpha"}));
        QCOMPARE(m_db.channelsByName("' OR ''='")->size(), 0);
        const auto keys = m_db.channelKeysByNumber(9).value();  // both number 9
        QCOMPARE(keys.value(1).sourceId, QStringLiteral("77")); // the second, trimmed
        ViewerDatabase::NewRecord r{"77", 70000, 9, kStart, kEnd, "It's", "\"l\"", 2, 5};
        QVERIFY2(m_db.appendRecord(r), qPrintable(m_db.lastError()));
        QCOMPARE(f.rows("SELECT quote(SOURCEID), NID, SID, STARTTIME, ENDTIME, CHARID, SHORTDESC, "
                        "LONGDESC, PRERECORD, POSTRECORD FROM RECORD"),
                 (Rows{{"77", 70000, 9, kStart, kEnd, 0, "It's", "\"l\"", 2, 5}}));
    }
};

QTEST_GUILESS_MAIN(TestViewerDb)
#include "tst_viewerdb.moc"
