// The demo generator as a real process: the sandbox and the settings it leaves for dorvel,
// entries placed around daylight-saving changes, --entries, --add-entry and what it refuses.

#include "datetime.h"
#include "programs.h"
#include "settingsstore.h"
#include "startup.h"
#include "viewerfolder.h"

#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;

namespace {

// The generator's exit code (-1 when it did not end normally) and its error output.
std::pair<int, QString> demo(const QStringList& args)
{
    const test::Run r = test::run(DEMO_EXE, args);
    return {r.status, QString::fromUtf8(r.err)};
}

// All rows of a statement on a database file, each row's values joined by "|".
QStringList rows(const QString& path, const QString& sql)
{
    return test::queryRows(path, sql).value_or(QStringList{"unreadable"});
}

} // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sandbox();
    void generate_data();
    void generate();

private:
    QTemporaryDir m_tmp;
    QString m_db; // of a sandbox made once
};

void TestDemo::initTestCase()
{
    const auto [code, err] =
        demo({m_tmp.path() + "/main", "--standin", STANDIN_EXE, "--now", "2026-12-05 19:58"});
    QVERIFY2(code == 0, qPrintable(err));
    m_db = m_tmp.path() + "/main/viewer/Database/Orbivu.mdb";
    // Before the first QSettings of this process, which fixes the user's folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_tmp.path() + "/main/config"));
}

void TestDemo::sandbox()
{
    QVERIFY(QFileInfo(m_tmp.path() + "/main/viewer/Orbivu.EXE").isExecutable());
    // Unique channels, names byte for byte; texts never NULL: a started entry is found by them.
    QCOMPARE(rows(m_db,
                  "SELECT COUNT(DISTINCT NID || ' ' || SID || ' ' || SOURCEID) = COUNT(*) "
                  "AND COUNT(DISTINCT CHANNELNUM) = COUNT(*) AND COUNT(*) >= 10 AND NOT "
                  "EXISTS (SELECT 1 FROM RECORD WHERE SHORTDESC || LONGDESC IS NULL OR CHARID "
                  "IS NOT 0) AND SUM(NAME IN ('Bayerisches Fernsehen Süd', 'Kid''s TV')) = 2 "
                  "FROM CHANNELS"),
             QStringList{"1"});
    QFile ini(m_tmp.path() + "/main/viewer/settings.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ViewerIni::parse(ini.readAll()).recordDirectory, m_tmp.path() + "/main/recordings/");
    const QtSettingsStore store;
    QCOMPARE(store.get("Dorvel", "startup", "orbivudbpath", "-"), m_db);
    QCOMPARE(store.get("Dorvel", "Startup", "Language", "-"), "eng");
    QCOMPARE(store.get("Dorvel", "Startup", "SaveLog", "-"), "1");
    const QString title = "Die \"Sendung\": O'Brien's Ärger; DROP TABLE RECORD";
    const auto [code, err] =
        demo({"--add-entry", m_db, "5", "2026.12.06 23:30", "2026.12.07 00:15", title, "2"});
    QVERIFY2(code == 0, qPrintable(err));
    QCOMPARE(rows(m_db, "SELECT CHANNELNUM, STARTTIME, ENDTIME, SHORTDESC, quote(LONGDESC), "
                        "PRERECORD, POSTRECORD, CHARID FROM CHANNELS JOIN RECORD USING (NID, SID, "
                        "SOURCEID) ORDER BY RECORD.rowid DESC LIMIT 1"),
             QStringList{"5|2026.12.06 23:30|2026.12.07 00:15|" + title + "|''|2|0|0"});
}

void TestDemo::generate_data()
{
    QTest::addColumn<QStringList>("args"); // "@" is the temporary folder; later options win
    QTest::addColumn<int>("entries");      // -1: refused
    const auto box = [](const char* now, const char* folder, const QStringList& more = {}) {
        return QStringList{"--standin", STANDIN_EXE, "--now", now, folder} + more;
    };
    const QStringList add = {"--add-entry", "@/main/viewer/Database/Orbivu.mdb"};
    QTest::newRow("evening") << box("2026-12-05 19:58", "@/a") << 10;
    QTest::newRow("clocks go forward soon") << box("2026-03-29 01:58", "@/b") << 10;
    QTest::newRow("in the hour that comes twice") << box("2026-10-25 02:58", "@/c") << 10;
    QTest::newRow("new year's eve") << box("2026-12-31 23:55", "@/d") << 10;
    QTest::newRow("no entries") << box("2026-03-29 01:50", "@/e", {"--entries", "0"}) << 0;
    QTest::newRow("the most") << box("2026-03-29 01:50", "@/f", {"--entries", "100000"}) << 100000;
    QTest::newRow("folder not empty") << box("2026-12-05 19:58", "@/main") << -1;
    QTest::newRow("comma in the path") << box("2026-12-05 19:58", "@/a,b") << -1;
    QTest::newRow("database in the path") << box("2026-12-05 19:58", "@/MyDatabase/x") << -1;
    QTest::newRow("too many") << box("2026-12-05 19:58", "@/x", {"--entries", "100001"}) << -1;
    QTest::newRow("skipped hour as now") << box("2026-03-29 02:30", "@/x") << -1;
    QTest::newRow("unknown channel")
        << add + QStringList{"99", "2026.12.06 10:00", "2026.12.06 10:30", "X"} << -1;
    QTest::newRow("impossible date")
        << add + QStringList{"1", "2026.02.31 10:00", "2026.03.01 10:30", "X"} << -1;
}

void TestDemo::generate()
{
    QFETCH(QStringList, args);
    QFETCH(int, entries);
    args.replaceInStrings("@", m_tmp.path());
    const QStringList before = rows(m_db, "SELECT * FROM RECORD");
    const QStringList folders = QDir(m_tmp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const auto [code, err] = demo(args);
    if (entries < 0) {
        // Refused with a message, and nothing is made or changed.
        QVERIFY(code > 0 && !err.isEmpty());
        QCOMPARE(rows(m_db, "SELECT * FROM RECORD"), before);
        QCOMPARE(QDir(m_tmp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), folders);
        return;
    }
    QVERIFY2(code == 0, qPrintable(err));
    const QString db = args[4] + "/viewer/Database/Orbivu.mdb";
    // Every entry on exactly one channel, found the way the scheduler joins them.
    QCOMPARE(rows(db, "SELECT COUNT(*) FROM RECORD JOIN CHANNELS USING (NID, SID, SOURCEID)"),
             QStringList{QString::number(entries)});
    // In the scheduler's order and day numbers: times exist locally, and each recording starts a
    // minute or more after the previous end (or now). Due soon: by wall clock or in real time.
    const QString form = "yyyy.MM.dd HH:mm";
    const QDateTime nowAt = QDateTime::fromString(args[3], "yyyy-MM-dd HH:mm");
    double previousEnd = toDaySerial(nowAt);
    int dueSoon = 0;
    for (const QString& line :
         rows(db, "SELECT STARTTIME, ENDTIME, PRERECORD, POSTRECORD FROM RECORD ORDER BY "
                  "julianday(replace(STARTTIME, '.', '-')) - PRERECORD / 1440.0")) {
        const QStringList v = line.split('|');
        const QDateTime start = QDateTime::fromString(v[0], form),
                        end = QDateTime::fromString(v[1], form);
        const double from = toDaySerial(start) - v[2].toInt() * kMinute,
                     to = toDaySerial(end) + v[3].toInt() * kMinute;
        QVERIFY2(start.toString(form) == v[0] && end.toString(form) == v[1] && to > from &&
                     from >= previousEnd + kMinute,
                 qPrintable(line));
        dueSoon += from < toDaySerial(nowAt) + 20 * kMinute ||
                   nowAt.secsTo(start) - 60 * v[2].toInt() < 1200;
        previousEnd = to;
    }
    QVERIFY(entries != 10 || dueSoon >= 2);
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
