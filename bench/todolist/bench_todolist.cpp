// Times GetRecordings on 10,000 and 100,000 entries against the bare load query (the same
// SELECT through the sqlite3 C API into plain structs) on the same file, in the same run, and
// prints the ratio; for 100,000 entries also the peak memory of both, each measured in a child
// process of its own.
// Usage: bench_todolist [path of dorvel-demo]   (without it the databases are made here)

#include "activitylist.h"
#include "appstate.h"
#include "fakes.h"
#include "mainwindow.h"
#include "recordingsloader.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace dorvel;

namespace {

constexpr int kRuns = 7;
const QDateTime kNow(QDate(2026, 12, 5), QTime(20, 0));

// The loader with the fakes of the platform seams, as every measurement here uses it.
struct Loading {
    Loading(const QString& connection, const QDateTime& now) : db(connection), clock(now) {}
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db;
    test::FakePrompter prompter;
    test::FakeView view;
    test::FakeTimer timer;
    test::FakeClock clock;
    test::MemorySettingsStore store;
    RecordingsLoader loader{state, todo, activity, db, prompter, view, timer, clock, store, [] {}};
};

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

// The same schema as the viewer: 60 channels, entries spread over the coming year.
bool makeDatabase(const QString& path, int entries)
{
    bool ok = true;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        ok =
            ok &&
            q.exec(
                QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID INTEGER, "
                               "SID INTEGER, SOURCEID INTEGER)")) &&
            q.exec(QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID INTEGER, "
                                  "STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, LONGDESC TEXT, "
                                  "CHARID INTEGER, PRERECORD INTEGER, POSTRECORD INTEGER)"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO CHANNELS VALUES(?, ?, ?, ?, ?)"));
        for (int c = 1; ok && c <= 60; ++c) {
            for (const QVariant& v : {QVariant(c), QVariant(QStringLiteral("Channel %1").arg(c)),
                                      QVariant(1), QVariant(1000 + c), QVariant(7)})
                q.addBindValue(v);
            ok = q.exec();
        }
        q.prepare(QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
        const QDateTime base(QDate(2027, 1, 1), QTime(6, 0));
        for (int i = 0; ok && i < entries; ++i) {
            const QDateTime start = base.addSecs(qint64(i) * 337 * 60);
            const QDateTime end = start.addSecs(45 * 60);
            const int c = 1 + i % 60;
            for (const QVariant& v :
                 {QVariant(1), QVariant(1000 + c), QVariant(7),
                  QVariant(start.toString(QStringLiteral("yyyy.MM.dd HH:mm"))),
                  QVariant(end.toString(QStringLiteral("yyyy.MM.dd HH:mm"))),
                  QVariant(QStringLiteral("Programme %1").arg(i)),
                  QVariant(QStringLiteral("A description of programme %1").arg(i)), QVariant(2),
                  QVariant(5)})
                q.addBindValue(v);
            ok = q.exec();
        }
        ok = db.commit() && ok;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    return ok;
}

QString databaseFor(const QString& demo, const QString& folder, int entries)
{
    if (!demo.isEmpty()) {
        QProcess p;
        p.start(demo, {QStringLiteral("--entries"), QString::number(entries), folder});
        if (p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit &&
            p.exitCode() == 0) {
            const QString path = folder + QStringLiteral("/viewer/Database/Orbivu.mdb");
            if (QFileInfo::exists(path))
                return path;
        }
        std::fprintf(stderr, "dorvel-demo failed (%s), making the database here\n",
                     qPrintable(QString::fromLocal8Bit(p.readAllStandardError()).trimmed()));
    }
    QDir().mkpath(folder);
    const QString path = folder + QStringLiteral("/Orbivu.mdb");
    return makeDatabase(path, entries) ? path : QString();
}

// One row of the load query as a plain program would keep it.
struct BareRow {
    std::string num, channel, startTime, endTime, shortDesc, longDesc, preRecord, postRecord;
    sqlite3_int64 rowId = 0;
    std::string fingerprint;
};

std::string textAt(sqlite3_stmt* s, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    return text ? std::string(text, size_t(sqlite3_column_bytes(s, column))) : std::string();
}

// The bare query: prepare, step, copy every column into a struct. The connection is open
// before, as the loader's is.
bool bareQuery(sqlite3* h, std::vector<BareRow>& rows)
{
    const QByteArray sql = ViewerDatabase::loadStatement().toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), int(sql.size()), &s, nullptr) != SQLITE_OK)
        return false;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        BareRow& r = rows.emplace_back();
        r.num = textAt(s, 0);
        r.channel = textAt(s, 1);
        r.startTime = textAt(s, 2);
        r.endTime = textAt(s, 3);
        r.shortDesc = textAt(s, 4);
        r.longDesc = textAt(s, 5);
        r.preRecord = textAt(s, 6);
        r.postRecord = textAt(s, 7);
        r.rowId = sqlite3_column_int64(s, 8);
        r.fingerprint = textAt(s, 9);
    }
    sqlite3_finalize(s);
    return rc == SQLITE_DONE;
}

sqlite3* openBare(const QString& path)
{
    // Without the library's own locking, as QtSql opens its connection.
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &h, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(h);
        return nullptr;
    }
    return h;
}

// One timed run of the bare query on an open connection; -1 when it failed.
double bareMs(sqlite3* h, int expected)
{
    std::vector<BareRow> rows;
    QElapsedTimer t;
    t.start();
    const bool ok = bareQuery(h, rows);
    const double ms = t.nsecsElapsed() / 1e6;
    return ok && rows.size() == size_t(expected) ? ms : -1;
}

// VmRSS or VmHWM of this process in KiB.
long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// In a child process: the memory one load (mode "load") or one bare query ("bare") takes,
// from just before it until its peak, with the result still held. Prints "<KiB> <peak KiB>".
int peakChild(const QString& mode, const QString& path)
{
    const long before = statusKb("VmRSS:");
    long peak = -1;
    if (mode == QLatin1String("bare")) {
        sqlite3* h = openBare(path);
        std::vector<BareRow> rows;
        const long base = statusKb("VmRSS:");
        if (!h || !bareQuery(h, rows))
            return 1;
        peak = statusKb("VmHWM:");
        std::printf("%ld %ld %zu\n", peak - std::max(before, base), peak, rows.size());
        sqlite3_close(h);
        return 0;
    }
    Loading l(QStringLiteral("peak"), kNow);
    if (!l.db.open(path))
        return 1;
    const long base = statusKb("VmRSS:");
    l.loader.getRecordings();
    peak = statusKb("VmHWM:");
    std::printf("%ld %ld %d\n", peak - std::max(before, base), peak, l.todo.rowCount());
    return 0;
}

// Runs peakChild in a child process: the KiB the operation took and the process's peak.
std::pair<long, long> peakOf(const QString& mode, const QString& path)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), mode, path});
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {-1, -1};
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    return {f.value(0).toLong(), f.value(1).toLong()};
}

// A load with the main window showing the lists, until the window has caught up: once with
// every entry pending, once with every entry timed out (each of those adds an activity line).
double windowLoadMs(const QString& path, const QDateTime& now)
{
    Loading l(QStringLiteral("bench-window"), now);
    MainWindow window(l.todo, l.activity, l.prompter);
    window.resize(900, 600);
    window.show();
    if (!l.db.open(path))
        return -1;
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        l.activity.clear();
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        l.loader.getRecordings();
        QCoreApplication::processEvents();
        times << t.nsecsElapsed() / 1e6;
    }
    return median(times);
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--peak") == 0) {
        QCoreApplication app(argc, argv);
        return peakChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QApplication app(argc, argv);
    const QString demo = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    int status = 0;
    for (int entries : {10000, 100000}) {
        const QString path =
            databaseFor(demo, dir.filePath(QStringLiteral("n%1").arg(entries)), entries);
        if (path.isEmpty()) {
            std::fprintf(stderr, "cannot make a database of %d entries\n", entries);
            return 1;
        }
        Loading l(QStringLiteral("bench"), kNow);
        ViewerDatabase& db = l.db;
        TodoList& todo = l.todo;
        if (!db.open(path))
            return 1;
        sqlite3* bareDb = openBare(path);
        if (!bareDb)
            return 1;
        // Runs take turns, so that a change in the machine's load meets all of them alike.
        QList<double> times, bareTimes, qtSqlTimes;
        for (int i = 0; i < kRuns; ++i) {
            l.activity.clear();
            QElapsedTimer t;
            t.start();
            l.loader.getRecordings();
            times << t.nsecsElapsed() / 1e6;
            bareTimes << bareMs(bareDb, entries);
            int rows = 0;
            t.restart();
            if (!db.forEachEntry([&rows](const ViewerDatabase::LoadRow&) { ++rows; },
                                 ViewerDatabase::Reader::QtSql) ||
                rows != entries)
                return 1;
            qtSqlTimes << t.nsecsElapsed() / 1e6;
        }
        sqlite3_close(bareDb);
        const double load = median(times);
        const double bare = std::ranges::min(bareTimes) < 0 ? -1 : median(bareTimes);
        const double qtSql = median(qtSqlTimes);
        const double target = entries == 10000 ? 1.5 : 2.0;
        std::printf(
            "%6d entries: GetRecordings %8.1f ms, bare query %8.1f ms, ratio %.2f "
            "(target %.1f; the rows through QtSql alone %.1f ms; rows listed %d, boxes %lld)\n",
            entries, load, bare, bare > 0 ? load / bare : 0.0, target, qtSql, todo.rowCount(),
            qlonglong(l.prompter.shown.size()));
        if (entries == 100000) {
            const auto [bareKb, barePeak] = peakOf(QStringLiteral("bare"), path);
            const auto [loadKb, loadPeak] = peakOf(QStringLiteral("load"), path);
            std::printf("100,000 entries, memory: GetRecordings %ld KiB, bare query %ld KiB, "
                        "ratio %.2f (target 3.0; process peaks %ld and %ld KiB)\n",
                        loadKb, bareKb, bareKb > 0 ? double(loadKb) / double(bareKb) : 0.0,
                        loadPeak, barePeak);
            if (bareKb <= 0 || loadKb <= 0)
                status = 1;
        }
        if (entries == 10000) {
            std::printf("10,000-entry load: %.1f ms (target < 200 ms)\n", load);
            // A load long after the last entry finds all of them timed out.
            const double pending = windowLoadMs(path, kNow);
            const double late = windowLoadMs(path, QDateTime(QDate(2100, 1, 1), QTime(0, 0)));
            std::printf("10,000 entries with the main window: pending %.1f ms, timed out %.1f ms, "
                        "ratio %.2f\n",
                        pending, late, pending > 0 ? late / pending : 0.0);
            if (pending <= 0 || late <= 0)
                status = 1;
        }
        if (todo.rowCount() != entries || bare <= 0)
            status = 1;
    }
    return status;
}
