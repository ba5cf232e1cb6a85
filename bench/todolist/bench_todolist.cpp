// Times GetRecordings on 10,000 and 100,000 entries against the bare load query run by the
// sqlite3 command-line program on the same file, in the same run, and prints the ratio.
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
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace dorvel;

namespace {

constexpr int kRuns = 5;

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

double cliMs(const QString& path)
{
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("sqlite3"), {path, ViewerDatabase::loadStatement()});
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            return -1;
        times << t.nsecsElapsed() / 1e6;
    }
    return median(times);
}

// A load with the main window showing the lists, until the window has caught up: once with
// every entry pending, once with every entry timed out (each of those adds an activity line).
double windowLoadMs(const QString& path, const QDateTime& now)
{
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db(QStringLiteral("bench-window"));
    test::FakePrompter prompter;
    test::FakeView view;
    test::FakeTimer timer;
    test::FakeClock clock(now);
    test::MemorySettingsStore store;
    RecordingsLoader loader(state, todo, activity, db, prompter, view, timer, clock, store, [] {});
    MainWindow window(todo, activity, prompter);
    window.resize(900, 600);
    window.show();
    if (!db.open(path))
        return -1;
    QList<double> times;
    for (int i = 0; i < kRuns; ++i) {
        activity.clear();
        QCoreApplication::processEvents();
        QElapsedTimer t;
        t.start();
        loader.getRecordings();
        QCoreApplication::processEvents();
        times << t.nsecsElapsed() / 1e6;
    }
    return median(times);
}

} // namespace

int main(int argc, char* argv[])
{
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
        AppState state;
        TodoList todo;
        ActivityList activity;
        ViewerDatabase db(QStringLiteral("bench"));
        test::FakePrompter prompter;
        test::FakeView view;
        test::FakeTimer timer;
        test::FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(20, 0)));
        test::MemorySettingsStore store;
        RecordingsLoader loader(state, todo, activity, db, prompter, view, timer, clock, store,
                                [] {});
        if (!db.open(path))
            return 1;
        QList<double> times;
        for (int i = 0; i < kRuns; ++i) {
            activity.clear();
            QElapsedTimer t;
            t.start();
            loader.getRecordings();
            times << t.nsecsElapsed() / 1e6;
        }
        const double load = median(times);
        QList<double> queryTimes;
        for (int i = 0; i < kRuns; ++i) {
            QElapsedTimer t;
            t.start();
            if (!db.loadEntries())
                return 1;
            queryTimes << t.nsecsElapsed() / 1e6;
        }
        const double query = median(queryTimes);
        const double cli = cliMs(path);
        std::printf("%6d entries: GetRecordings %8.1f ms, sqlite3 load query %8.1f ms, ratio %.2f"
                    " (of which the query through QtSql %.1f ms; rows listed %d, boxes %lld)\n",
                    entries, load, cli, cli > 0 ? load / cli : 0.0, query, todo.rowCount(),
                    qlonglong(prompter.shown.size()));
        if (entries == 10000) {
            std::printf("10,000-entry load: %.1f ms (target < 200 ms)\n", load);
            // A load long after the last entry finds all of them timed out.
            const double pending = windowLoadMs(path, QDateTime(QDate(2026, 12, 5), QTime(20, 0)));
            const double late = windowLoadMs(path, QDateTime(QDate(2100, 1, 1), QTime(0, 0)));
            std::printf("10,000 entries with the main window: pending %.1f ms, timed out %.1f ms, "
                        "ratio %.2f\n",
                        pending, late, pending > 0 ? late / pending : 0.0);
            if (pending <= 0 || late <= 0)
                status = 1;
        }
        if (todo.rowCount() != entries || cli <= 0)
            status = 1;
    }
    return status;
}
