// The demo generator, run as a real process: the sandbox it makes, the database schema and
// contents, the placement of the entries (also around daylight-saving changes), the settings
// it leaves for dorvel, --entries, --add-entry and the folders it refuses.

#include "datetime.h"
#include "settingsstore.h"
#include "startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;

namespace {

struct Result {
    int code = -1;
    QString out;
    QString err;
};

Result demo(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(DEMO_EXE), args);
    Result r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList sandboxArgs(const QString& folder, const QString& now, const QStringList& more = {})
{
    return QStringList{folder, QStringLiteral("--standin"), QStringLiteral(STANDIN_EXE),
                       QStringLiteral("--now"), now} +
           more;
}

// A connection of its own for one look into a database file.
class Db {
public:
    explicit Db(const QString& path) : m_name(QStringLiteral("check-%1").arg(++s_count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        db.open();
    }
    ~Db() { QSqlDatabase::removeDatabase(m_name); }
    // All rows of a statement, each row's values joined by "|".
    QStringList rows(const QString& sql, const QVariantList& binds = {}) const
    {
        QStringList out;
        {
            QSqlQuery q(QSqlDatabase::database(m_name));
            q.prepare(sql);
            for (const QVariant& v : binds)
                q.addBindValue(v);
            if (!q.exec())
                return {QStringLiteral("ERROR ") + q.lastError().text()};
            while (q.next()) {
                QStringList values;
                for (int i = 0; i < q.record().count(); ++i)
                    values << (q.value(i).isNull() ? QStringLiteral("<NULL>")
                                                   : q.value(i).toString());
                out << values.join(QLatin1Char('|'));
            }
        }
        return out;
    }
    int count(const QString& table) const
    {
        return rows(QStringLiteral("SELECT COUNT(*) FROM ") + table).value(0).toInt();
    }

private:
    static inline int s_count = 0;
    QString m_name;
};

struct Row {
    QString start;
    QString end;
    int pre;
    int post;
    QString title;
    double recStart; // day serials, as the scheduler compares them
    double recEnd;
    QDateTime recStartAt; // the moment itself
};

QDateTime fromDbTime(const QString& text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy.MM.dd HH:mm"));
}

// The entries with their recording start and end as the scheduler computes them, in the
// order the scheduler sorts them.
QList<Row> entries(const QString& db)
{
    QList<Row> rows;
    for (const QString& line :
         Db(db).rows(QStringLiteral("SELECT STARTTIME, ENDTIME, PRERECORD, POSTRECORD, SHORTDESC "
                                    "FROM RECORD"))) {
        const QStringList v = line.split(QLatin1Char('|'));
        Row r{v.at(0), v.at(1), v.at(2).toInt(), v.at(3).toInt(), v.at(4), 0, 0, {}};
        r.recStartAt = fromDbTime(r.start).addSecs(-60 * r.pre);
        r.recStart = toDaySerial(fromDbTime(r.start)) - r.pre * kMinute;
        r.recEnd = toDaySerial(fromDbTime(r.end)) + r.post * kMinute;
        rows << r;
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const Row& a, const Row& b) { return a.recStart < b.recStart; });
    return rows;
}

// Empty when every time exists locally and no entry overlaps the one above it by the
// scheduler's rule (a start less than one minute after the previous recording end).
QString scheduleProblem(const QList<Row>& rows)
{
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        for (const QString& t : {r.start, r.end}) {
            const QDateTime local = fromDbTime(t);
            if (!local.isValid() || local.toString(QStringLiteral("yyyy.MM.dd HH:mm")) != t)
                return QStringLiteral("%1 is not a local time").arg(t);
        }
        if (r.recEnd <= r.recStart)
            return QStringLiteral("%1 ends before it starts").arg(r.start);
        if (i > 0 && rows.at(i - 1).recEnd + kMinute > r.recStart)
            return QStringLiteral("%1 overlaps %2").arg(r.start, rows.at(i - 1).start);
    }
    return {};
}

} // namespace

class TestDemo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sandboxLayout();
    void schema();
    void channels();
    void viewerSettings();
    void dorvelSettings();
    void entriesPlacement_data();
    void entriesPlacement();
    void bulkEntries_data();
    void bulkEntries();
    void addEntry_data();
    void addEntry();
    void refusals_data();
    void refusals();
    void forceReplaces();

private:
    QTemporaryDir m_tmp;
    QString m_main; // the sandbox made once for the read-only checks
    Result m_mainRun;
};

void TestDemo::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    m_main = m_tmp.path() + QStringLiteral("/main");
    m_mainRun = demo(sandboxArgs(m_main, QStringLiteral("2026-12-05 19:58")));
    QVERIFY2(m_mainRun.code == 0, qPrintable(m_mainRun.err));
    // Before the first QSettings of this process, which fixes the user's folder.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_main + QStringLiteral("/config")));
}

void TestDemo::sandboxLayout()
{
    const QString exe = m_main + QStringLiteral("/viewer/Orbivu.EXE");
    const QFileInfo info(exe);
    QVERIFY(info.isFile());
    QVERIFY(!info.isSymLink());
    QVERIFY(info.isExecutable());
    QFile copy(exe), original(QStringLiteral(STANDIN_EXE));
    QVERIFY(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    QVERIFY(copy.readAll() == original.readAll());
    QVERIFY(QFileInfo(m_main + QStringLiteral("/recordings")).isDir());
    QVERIFY(QDir(m_main + QStringLiteral("/recordings")).isEmpty());

    const QString db = m_main + QStringLiteral("/viewer/Database/Orbivu.mdb");
    QVERIFY(m_mainRun.out.contains(db));
    QVERIFY(m_mainRun.out.contains(QStringLiteral("Entries:      10\n")));
    // The first entry starts at 20:01 with one lead minute.
    QVERIFY2(m_mainRun.out.contains(QStringLiteral("First launch: 2026-12-05 20:00:00\n")),
             qPrintable(m_mainRun.out));
}

void TestDemo::schema()
{
    const Db db(m_main + QStringLiteral("/viewer/Database/Orbivu.mdb"));
    QCOMPARE(db.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                    "ORDER BY name")),
             (QStringList{"CHANNELS", "RECORD"}));
    QCOMPARE(db.rows(QStringLiteral("SELECT name, type FROM pragma_table_info('CHANNELS')")),
             (QStringList{"CHANNELNUM|INTEGER", "NAME|TEXT", "NID|INTEGER", "SID|INTEGER",
                          "SOURCEID|INTEGER"}));
    QCOMPARE(db.rows(QStringLiteral("SELECT name, type FROM pragma_table_info('RECORD')")),
             (QStringList{"NID|INTEGER", "SID|INTEGER", "SOURCEID|INTEGER", "STARTTIME|TEXT",
                          "ENDTIME|TEXT", "SHORTDESC|TEXT", "LONGDESC|TEXT", "CHARID|INTEGER",
                          "PRERECORD|INTEGER", "POSTRECORD|INTEGER"}));
}

void TestDemo::channels()
{
    const Db db(m_main + QStringLiteral("/viewer/Database/Orbivu.mdb"));
    const QStringList all = db.rows(QStringLiteral("SELECT CHANNELNUM, NAME FROM CHANNELS"));
    QVERIFY(all.size() >= 10);
    QCOMPARE(db.rows(QStringLiteral("SELECT DISTINCT CHANNELNUM FROM CHANNELS")).size(),
             all.size());
    QCOMPARE(db.rows(QStringLiteral("SELECT DISTINCT NID, SID, SOURCEID FROM CHANNELS")).size(),
             all.size());
    // Names come back byte for byte, found by a bound value.
    for (const QString& name : {QStringLiteral("Das Erste HD"), QStringLiteral("ZDF"),
                                QStringLiteral("Bayerisches Fernsehen Süd"),
                                QStringLiteral("Deutsche Welle"), QStringLiteral("Kid's TV")})
        QCOMPARE(db.rows(QStringLiteral("SELECT NAME FROM CHANNELS WHERE NAME = ?"), {name}),
                 QStringList{name});
    // Every entry belongs to exactly one channel.
    QCOMPARE(db.rows(QStringLiteral("SELECT COUNT(*) FROM CHANNELS INNER JOIN RECORD ON "
                                    "(CHANNELS.NID = RECORD.NID) AND (CHANNELS.SID = RECORD.SID) "
                                    "AND (CHANNELS.SOURCEID = RECORD.SOURCEID)")),
             QStringList{QString::number(db.count(QStringLiteral("RECORD")))});
}

void TestDemo::viewerSettings()
{
    QFile f(m_main + QStringLiteral("/viewer/settings.ini"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray content = f.readAll();
    QVERIFY(content.contains("\r\n"));
    // Read the way dorvel reads it.
    const ViewerIni ini = ViewerIni::parse(content);
    QCOMPARE(ini.recordDirectory, m_main + QStringLiteral("/recordings/"));
    QCOMPARE(ini.prerecordMinutes, 1);
    QCOMPARE(ini.postrecordMinutes, 1);
}

void TestDemo::dorvelSettings()
{
    const QtSettingsStore store;
    const QString db = m_main + QStringLiteral("/viewer/Database/Orbivu.mdb");
    QCOMPARE(store.get("Dorvel", "Startup", "OrbivuDBPath", "-"), db);
    QCOMPARE(store.get("Dorvel", "startup", "orbivudbpath", "-"), db);
    QCOMPARE(store.get("Dorvel", "Startup", "Language", "-"), QStringLiteral("eng"));
    QCOMPARE(store.get("Dorvel", "Startup", "SaveLog", "-"), QStringLiteral("1"));
    QCOMPARE(store.get("Dorvel", "Startup", "ShutDownType", "-"), QStringLiteral("Never"));
}

void TestDemo::entriesPlacement_data()
{
    QTest::addColumn<QString>("now");
    QTest::newRow("evening") << "2026-12-05 19:58";
    QTest::newRow("clocks go forward in two minutes") << "2026-03-29 01:58";
    QTest::newRow("in the hour that comes twice") << "2026-10-25 02:58";
    QTest::newRow("series across the change to summer time") << "2026-03-27 23:10";
    QTest::newRow("new year's eve") << "2026-12-31 23:55";
    QTest::newRow("just after midnight") << "2027-01-01 00:00";
}

void TestDemo::entriesPlacement()
{
    QFETCH(QString, now);
    const QString folder = m_tmp.path() + QStringLiteral("/place-") + QString::number(qHash(now));
    const Result r = demo(sandboxArgs(folder, now));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QString dbPath = folder + QStringLiteral("/viewer/Database/Orbivu.mdb");
    const QList<Row> rows = entries(dbPath);
    QCOMPARE(rows.size(), 10);
    const QString problem = scheduleProblem(rows);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // Entries due soon, pending when dorvel loads them right away: recording start more than
    // a minute after now on the wall clock, and within minutes of now on the wall clock or in
    // real time (when the clocks go forward, the wall clock jumps an hour in between).
    const QDateTime nowAt = QDateTime::fromString(now, QStringLiteral("yyyy-MM-dd HH:mm"));
    const double t = toDaySerial(nowAt);
    int dueSoon = 0;
    for (const Row& row : rows) {
        QVERIFY2(row.recStart > t + kMinute, qPrintable(row.start));
        if (row.recStart <= t + 20 * kMinute || nowAt.secsTo(row.recStartAt) <= 20 * 60)
            ++dueSoon;
    }
    QVERIFY(dueSoon >= 2);
    const QString firstLaunch = formatDefault(rows.first().recStart);
    QVERIFY2(r.out.contains(QStringLiteral("First launch: ") + firstLaunch), qPrintable(r.out));

    // The daily series: one title on five days running, at the same time.
    QMap<QString, QStringList> byTitle;
    for (const Row& row : rows)
        byTitle[row.title] << row.start;
    bool series = false;
    for (const QStringList& starts : std::as_const(byTitle)) {
        if (starts.size() != 5)
            continue;
        series = true;
        for (int i = 1; i < 5; ++i) {
            QCOMPARE(fromDbTime(starts.at(i)).date(), fromDbTime(starts.at(0)).date().addDays(i));
            QCOMPARE(fromDbTime(starts.at(i)).time(), fromDbTime(starts.at(0)).time());
        }
    }
    QVERIFY(series);
    const QString titles = byTitle.keys().join(QLatin1Char('\n'));
    QVERIFY(titles.contains(QLatin1Char('"')));
    QVERIFY(titles.contains(QLatin1Char('\'')));
    QVERIFY(titles.contains(QStringLiteral("ü")));
    // Found again by its texts, the way a started entry is deleted: no NULL descriptions.
    QCOMPARE(Db(dbPath).rows(QStringLiteral("SELECT COUNT(*) FROM RECORD WHERE LONGDESC IS NULL "
                                            "OR SHORTDESC IS NULL OR CHARID IS NOT 0")),
             QStringList{"0"});
}

void TestDemo::bulkEntries_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("none") << 0;
    QTest::newRow("one") << 1;
    QTest::newRow("a thousand") << 1000;
    QTest::newRow("the most") << 100000;
}

void TestDemo::bulkEntries()
{
    QFETCH(int, count);
    const QString folder = m_tmp.path() + QStringLiteral("/bulk-%1").arg(count);
    const Result r = demo(sandboxArgs(folder, QStringLiteral("2026-03-29 01:50"),
                                      {QStringLiteral("--entries"), QString::number(count)}));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("Entries:      %1\n").arg(count)));
    const QList<Row> rows = entries(folder + QStringLiteral("/viewer/Database/Orbivu.mdb"));
    QCOMPARE(rows.size(), count);
    const QString problem = scheduleProblem(rows);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (count > 0)
        QVERIFY(rows.first().recStart > toDaySerial(QDateTime(QDate(2026, 3, 29), QTime(1, 51))));
}

void TestDemo::addEntry_data()
{
    QTest::addColumn<QStringList>("args"); // after the database path
    QTest::addColumn<bool>("added");

    QTest::newRow("quotes and umlauts")
        << QStringList{"5",
                       "2026.12.06 10:00",
                       "2026.12.06 10:30",
                       "Die \"Sendung\": O'Brien's Ärger; DROP TABLE RECORD",
                       "2",
                       "3"}
        << true;
    QTest::newRow("default minutes")
        << QStringList{"1", "2026.12.06 23:30", "2026.12.07 00:15", "X"} << true;
    QTest::newRow("unknown channel")
        << QStringList{"99", "2026.12.06 10:00", "2026.12.06 10:30", "X"} << false;
    QTest::newRow("impossible date")
        << QStringList{"1", "2026.02.31 10:00", "2026.03.01 10:30", "X"} << false;
    QTest::newRow("other form") << QStringList{"1", "2026-12-06 10:00", "2026-12-06 10:30", "X"}
                                << false;
    QTest::newRow("pre not a number")
        << QStringList{"1", "2026.12.06 10:00", "2026.12.06 10:30", "X", "two"} << false;
    QTest::newRow("too few arguments") << QStringList{"1", "2026.12.06 10:00"} << false;
}

void TestDemo::addEntry()
{
    QFETCH(QStringList, args);
    QFETCH(bool, added);
    const QString folder = m_tmp.path() + QStringLiteral("/add-") + QTest::currentDataTag();
    QCOMPARE(demo(sandboxArgs(folder, QStringLiteral("2026-12-05 08:00"))).code, 0);
    const QString dbPath = folder + QStringLiteral("/viewer/Database/Orbivu.mdb");
    const int before = Db(dbPath).count(QStringLiteral("RECORD"));

    const Result r = demo(QStringList{QStringLiteral("--add-entry"), dbPath} + args);
    QCOMPARE(r.code == 0, added);
    QCOMPARE(r.err.isEmpty(), added);
    const Db db(dbPath);
    QCOMPARE(db.count(QStringLiteral("RECORD")), before + (added ? 1 : 0));
    if (!added)
        return;
    const QStringList last = db.rows(QStringLiteral(
        "SELECT CHANNELS.CHANNELNUM, RECORD.STARTTIME, RECORD.ENDTIME, RECORD.SHORTDESC, "
        "RECORD.LONGDESC, RECORD.PRERECORD, RECORD.POSTRECORD, RECORD.CHARID FROM CHANNELS "
        "INNER JOIN RECORD ON (CHANNELS.NID = RECORD.NID) AND (CHANNELS.SID = RECORD.SID) AND "
        "(CHANNELS.SOURCEID = RECORD.SOURCEID) ORDER BY RECORD.rowid DESC LIMIT 1"));
    const QString expected =
        QStringList{args.at(0), args.at(1),         args.at(2),         args.at(3),
                    "",         args.value(4, "0"), args.value(5, "0"), "0"}
            .join(QLatin1Char('|'));
    QCOMPARE(last, QStringList{expected});
}

void TestDemo::refusals_data()
{
    QTest::addColumn<QString>("folder"); // below the temporary folder
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<QString>("prepare"); // "file": folder holds a file; "plain": folder is a file

    QTest::newRow("not empty") << "full" << QStringList{} << "file";
    QTest::newRow("a file") << "plain" << QStringList{} << "plain";
    QTest::newRow("comma in the path") << "a,b" << QStringList{} << "";
    QTest::newRow("database in the path") << "MyDatabase/demo" << QStringList{} << "";
    QTest::newRow("stand-in missing")
        << "nostandin" << QStringList{"--standin", "/nonexistent/x"} << "";
    QTest::newRow("language") << "lang" << QStringList{"--language", "fra"} << "";
    QTest::newRow("too many entries") << "many" << QStringList{"--entries", "100001"} << "";
    QTest::newRow("negative entries") << "neg" << QStringList{"--entries", "-1"} << "";
    QTest::newRow("entries not a number") << "nan" << QStringList{"--entries", "ten"} << "";
    QTest::newRow("skipped hour as now") << "gap" << QStringList{"--now", "2026-03-29 02:30"} << "";
    QTest::newRow("now in another form")
        << "form" << QStringList{"--now", "05.12.2026 20:00"} << "";
}

void TestDemo::refusals()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, more);
    QFETCH(QString, prepare);
    const QString path = m_tmp.path() + QStringLiteral("/refuse/") + folder;
    QDir().mkpath(QFileInfo(path).path());
    const QString precious =
        prepare == QStringLiteral("plain") ? path : path + QStringLiteral("/notes.txt");
    if (!prepare.isEmpty()) {
        QDir().mkpath(QFileInfo(precious).path());
        QFile f(precious);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    // Later options win, so the defaults go first.
    const Result r = demo(sandboxArgs(path, QStringLiteral("2026-12-05 19:58")) + more);
    QVERIFY(r.code != 0);
    QVERIFY(!r.err.isEmpty());
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("/viewer")));
    if (!prepare.isEmpty()) {
        QFile f(precious);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep"));
    }
}

void TestDemo::forceReplaces()
{
    const QString folder = m_tmp.path() + QStringLiteral("/again");
    QCOMPARE(demo(sandboxArgs(folder, QStringLiteral("2026-12-05 19:58"))).code, 0);
    QFile note(folder + QStringLiteral("/recordings/old.ts"));
    QVERIFY(note.open(QIODevice::WriteOnly));
    note.write("keep");
    note.close();
    QVERIFY(demo(sandboxArgs(folder, QStringLiteral("2026-12-06 10:00"))).code != 0);

    const Result r = demo(sandboxArgs(
        folder, QStringLiteral("2026-12-06 10:00"),
        {QStringLiteral("--force"), QStringLiteral("--language"), QStringLiteral("deu")}));
    QVERIFY2(r.code == 0, qPrintable(r.err));
    // A new database, not the old one with more rows; recordings are left alone.
    QCOMPARE(Db(folder + QStringLiteral("/viewer/Database/Orbivu.mdb")).count("RECORD"), 10);
    QVERIFY(note.open(QIODevice::ReadOnly));
    QCOMPARE(note.readAll(), QByteArray("keep"));
    QSettings conf(folder + QStringLiteral("/config/Dorvel/Dorvel.conf"), QSettings::IniFormat);
    QCOMPARE(conf.value(QStringLiteral("Startup/Language")).toString(), QStringLiteral("deu"));
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
