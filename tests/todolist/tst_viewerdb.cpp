// The viewer database's statements against real SQLite files, and its date-time texts.

#include "datetext.h"
#include "datetime.h"
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
double serialOf(int y, int mo, int d, int h, int mi, double s = 0)
{
    return toDaySerial(QDateTime(QDate(y, mo, d), QTime(h, mi))) + s / 86400;
}
} // namespace

class TestViewerDb : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
    ViewerDatabase m_db;

private Q_SLOTS:
    void init() { m_path = m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n)); }

    // The edit and the delete find the first row of exactly these texts: no LIKE pattern, no
    // case folding, no SQL from a title, NULL as an empty text; a column or a number the
    // viewer cannot hold keeps the old value.
    void firstMatchByExactTexts()
    {
        const QString quoted = "The \"Big\" Show", injected = "Tom's 100% ' OR '1'='1";
        const QString say = "say \"\"hi\"\"";
        DbFixture f(m_path);
        for (const int pre : {9, 1, 3})
            f.record(1, kStart, kEnd, pre == 9 ? quoted + "x" : quoted, pre, 0, say);
        f.record(1, kStart, kEnd, injected, 4);
        f.record(1, kStart, kEnd, "A", 5, 0, QVariant());
        QVERIFY(m_db.open(m_path));
        const auto edit = [&](const QString& title, const QString& column, const QString& text) {
            return m_db.updateFirstRecord(kStart, kEnd, title, say, column, text);
        };
        QCOMPARE(edit(quoted, "POSTRECORD", " 7 "), R::Updated);
        QCOMPARE(edit(quoted, "PRERECORD", "abc"), R::KeptOld);
        QCOMPARE(edit(quoted, "PRERECORD", "4294967296"), R::KeptOld);
        QCOMPARE(edit(quoted, "PRERECORD = 1 --", "5"), R::KeptOld);
        QCOMPARE(edit("the \"big\" show", "POSTRECORD", "8"), R::NotFound);
        QVERIFY(m_db.lastFoundNothing());
        QCOMPARE(f.texts("SELECT PRERECORD, POSTRECORD FROM RECORD WHERE POSTRECORD <> 0"),
                 QStringList{"1|7"});
        const auto take = [&](const QString& title, const QString& longDesc) {
            return m_db.takeFirstRecord(kStart, kEnd, title, longDesc).has_value();
        };
        QVERIFY(take(quoted, say) && take(injected, "") && take("A", ""));
        QVERIFY(!take("%", "%") && !take("the \"big\" show", say));
        QVERIFY(!m_db.lastError().isEmpty());
        QCOMPARE(f.rows("SELECT PRERECORD FROM RECORD ORDER BY rowid"), (Rows{{9}, {3}}));
    }

    // The load reads through the SQLite connection itself; whatever is stored, every field
    // must read exactly as through QtSql (a different text would be a different entry to the
    // editors and the delete). expr is an SQL value, %1 the row's number.
    void nativeReadsAsQtSql_data()
    {
        QTest::addColumn<QString>("expr");
        QTest::addColumn<int>("rows");
        const auto row = [](const char* name, const char* expr, int rows = 1) {
            QTest::newRow(name) << QString::fromUtf8(expr) << rows;
        };
        row("NULL", "NULL");
        row("empty", "''");
        row("umlauts and dash", "'Tagesschau \u2013 Wetter \u00c4\u00d6\u00dc\u00df'");
        row("outside the BMP", "'\U0001F3AC Film'");
        row("invalid UTF-8", "CAST(X'41FF42C328' AS TEXT)");
        row("surrogate as UTF-8", "CAST(X'EDA080' AS TEXT)");
        row("NUL inside", "CAST(X'410042' AS TEXT)");
        row("BLOB of UTF-8", "X'48C3A46C6C6F'");
        row("BLOB of garbage", "X'FF00FE'");
        row("largest integer", "9223372036854775807");
        row("smallest integer", "-9223372036854775808");
        row("tiny real", "1e-300");
        row("infinity", "9e999");
        row("negative zero", "-0.0");
        row("a third", "1.0 / 3");
        row("number in blanks", "' 15 '");
        // Shared texts: equal values share one, different ones never do.
        row("repeating numbers", "%1 % 7", 300);
        row("distinct texts", "'t' || %1", 300);
        row("texts and numbers", "CASE %1 % 3 WHEN 0 THEN %1 WHEN 1 THEN '' || %1 ELSE NULL END",
            300);
    }
    void nativeReadsAsQtSql()
    {
        QFETCH(QString, expr);
        QFETCH(int, rows);
        {
            DbFixture f(m_path);
            f.run("BEGIN");
            for (int i = 1; i <= rows; ++i) {
                const QString v = QString(expr).replace("%1", QString::number(i));
                f.run(QStringLiteral("INSERT INTO CHANNELS VALUES(%1, %1, ?, ?, ?)").arg(v),
                      {i, i, i});
                f.run(
                    QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, %1, %1, %1, %1, 0, %1, %1)")
                        .arg(v),
                    {i, i, i});
            }
            f.run("COMMIT");
        }
        QVERIFY(m_db.open(m_path));
        const auto read = [&](ViewerDatabase::Reader reader) {
            QStringList fields;
            const bool ok = m_db.forEachEntry(
                [&](const ViewerDatabase::LoadRow& r) {
                    // Plain texts leave the fingerprint to be formed from them.
                    const QString fingerprint =
                        r.plainTexts ? ViewerDatabase::plainFingerprint(r.startTime, r.endTime,
                                                                        r.shortDesc, r.longDesc)
                                     : r.fingerprint;
                    for (const QString* t :
                         {&r.num, &r.channel, &r.startTime, &r.endTime, &r.shortDesc, &r.longDesc,
                          &r.preRecord, &r.postRecord, &fingerprint})
                        fields << (t->isNull() ? QStringLiteral("<null>") : *t);
                    fields << QString::number(r.rowId);
                },
                reader);
            return ok ? fields : QStringList{QStringLiteral("failed: ") + m_db.lastError()};
        };
        const QStringList native = read(ViewerDatabase::Reader::Native);
        QCOMPARE(native.size(), rows * 10);
        QCOMPARE(native, read(ViewerDatabase::Reader::QtSql));
    }

    // New entries are written through the SQLite connection itself too; every value must be
    // stored as QtSql stores it (type and bytes), or the viewer and a later take-over would
    // see another entry. A failure must count and read the same.
    void nativeAppendsAsQtSql_data()
    {
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("failSecond"); // the table refuses the second row
        QTest::newRow("integer keys, plain text") << QVariant(qint64(10301)) << "Tatort" << false;
        QTest::newRow("int key, empty text") << QVariant(7) << QString("") << false;
        QTest::newRow("text key, null text")
            << QVariant(QStringLiteral("10301")) << QString() << false;
        QTest::newRow("null key, umlauts") << QVariant() << "M\u00fcnchen \u2013 Mord" << false;
        QTest::newRow("null text key") << QVariant(QString()) << "\U0001F3AC" << false;
        QTest::newRow("real key") << QVariant(1.5) << "x" << false;
        QTest::newRow("bytes key") << QVariant(QByteArray("\xff\x00", 2)) << "x" << false;
        QTest::newRow("bool key") << QVariant(true) << "x" << false;
        QTest::newRow("refused second row") << QVariant(qint64(1)) << "x" << true;
    }
    void nativeAppendsAsQtSql()
    {
        QFETCH(QVariant, key);
        QFETCH(QString, text);
        QFETCH(bool, failSecond);
        QList<ViewerDatabase::NewRecord> records(3);
        for (int i = 0; i < 3; ++i) {
            auto& r = records[i];
            r = {QStringLiteral("192"),     key, key, kStart, kEnd, text,
                 text + QString::number(i), i,   -i};
        }
        const auto write = [&](ViewerDatabase::Writer writer) {
            init();
            {
                DbFixture f(m_path);
                if (failSecond)
                    f.run("CREATE TRIGGER refuse BEFORE INSERT ON RECORD WHEN NEW.PRERECORD = 1 "
                          "BEGIN SELECT RAISE(ABORT, 'refused'); END");
            }
            ViewerDatabase db(QStringLiteral("append"));
            if (!db.open(m_path))
                return Rows{{QStringLiteral("open failed")}};
            const int n = db.appendRecords(records, writer);
            Rows stored{{n, db.lastError()}};
            DbFixture f(m_path, 0);
            stored << f.rows("SELECT typeof(NID), quote(NID), typeof(SID), quote(SID), "
                             "quote(SOURCEID), quote(STARTTIME), quote(ENDTIME), quote(CHARID), "
                             "quote(SHORTDESC), quote(LONGDESC), quote(PRERECORD), "
                             "quote(POSTRECORD) FROM RECORD ORDER BY rowid");
            return stored;
        };
        const Rows native = write(ViewerDatabase::Writer::Native);
        QCOMPARE(native.size(), failSecond ? 2 : 4);
        QCOMPARE(native, write(ViewerDatabase::Writer::QtSql));
    }

    void parseDbTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "2026.12.05 20:15" << true;
        QTest::newRow("leap day") << "2028.02.29 23:59" << true;
        // A wall-clock time in the spring gap is still a point on the serial scale.
        QTest::newRow("spring gap") << "2026.03.29 02:30" << true;
        QTest::newRow("31 February") << "2026.02.31 20:15" << false;
        QTest::newRow("29 February, no leap year") << "1900.02.29 20:15" << false;
        QTest::newRow("hour 24") << "2026.12.05 24:00" << false;
        QTest::newRow("seconds") << "2026.12.05 20:15:00" << false;
        QTest::newRow("arabic digits") << QString::fromUtf8("2026.12.05 20:1\xd9\xa5") << false;
    }
    void parseDbTime()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto serial = ParseDbTime(text);
        QCOMPARE(serial.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(FormatDbTime(*serial), text);
        // The loader's default form keeps even a time QDateTime cannot hold (the spring gap).
        QCOMPARE(FormatDefaultQuick(*serial), QString(text).replace('.', '-') + ":00");
        QCOMPARE(*parseDefault(FormatDefaultQuick(*serial)), *serial);
        const QDateTime local = QDateTime::fromString(text, QStringLiteral("yyyy.MM.dd hh:mm"));
        if (local.isValid()) // bit for bit, so that serials of equal texts compare equal
            QCOMPARE(*serial, toDaySerial(local));
    }

    void formatDropsSecondsButNotTheMinute()
    {
        // The minute constant is a hair short: 20:15 minus 2 minutes must still be 20:13.
        QCOMPARE(FormatSortKey(serialOf(2026, 12, 5, 20, 15) - 2 * kMinute), "202612052013");
        QCOMPARE(SortKeyNumber(serialOf(2026, 12, 6, 0, 1) - 2 * kMinute), 202612052359);
        QCOMPARE(FormatDbTime(serialOf(2026, 12, 5, 20, 12, 59)), "2026.12.05 20:12");
        QCOMPARE(FormatDbTime(serialOf(2026, 12, 5, 20, 12, 59.6)), "2026.12.05 20:13");
    }
};

QTEST_GUILESS_MAIN(TestViewerDb)
#include "tst_viewerdb.moc"
