// GetRecordings over real SQLite files, with the fakes of the platform seams.

#include "activitylist.h"
#include "appstate.h"
#include "dbfixture.h"
#include "fakes.h"
#include "recordingsloader.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using namespace dorvel::test;
using Colour = TodoList::RowColour;

namespace {

QDateTime at(int h, int mi, int s = 0, int day = 5, int month = 12)
{
    return QDateTime(QDate(2026, month, day), QTime(h, mi, s));
}

// Everything GetRecordings touches, wired to one database file.
struct Harness {
    explicit Harness(const QString& dbPath) : path(dbPath)
    {
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        state.settings.language = QStringLiteral("eng");
    }
    bool open() { return db.open(path); }
    void load() { loader.getRecordings(); }
    QString cell(int row, int column) const { return todo.cell(row, column); }
    // The row whose SHORTDESC is the title; 0 when none.
    int rowOf(const QString& title) const
    {
        for (int r = 1; r < todo.rows(); ++r)
            if (todo.cell(r, TodoList::ShortDesc) == title)
                return r;
        return 0;
    }
    QStringList countLines() const
    {
        QStringList out;
        for (const QString& l : activity.lines())
            if (l.endsWith(state.msg.MsgRecordingsAdded))
                out << l;
        return out;
    }

    QString path;
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("loader")};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{at(19, 0)};
    MemorySettingsStore store;
    int ended = 0;
    RecordingsLoader loader{state, todo,  activity, db,    prompter,
                            view,  timer, clock,    store, [this] { ++ended; }};
};

// A child sqlite3 process that holds an exclusive lock on the file.
class Locker {
public:
    Locker(const QString& path, int seconds)
    {
        m_proc.setProgram(QStringLiteral("sqlite3"));
        m_proc.setArguments({path});
        m_proc.start();
        m_ok = m_proc.waitForStarted(5000);
        QByteArray script = "BEGIN EXCLUSIVE;\nSELECT 'locked';\n";
        if (seconds > 0)
            script += ".shell sleep " + QByteArray::number(seconds) + "\nCOMMIT;\n.quit\n";
        m_proc.write(script);
        while (m_ok && !m_proc.readAllStandardOutput().contains("locked"))
            m_ok = m_proc.waitForReadyRead(5000);
    }
    ~Locker()
    {
        m_proc.closeWriteChannel(); // end of input ends the transaction and the program
        m_proc.waitForFinished(10000);
    }
    bool holdsLock() const { return m_ok; }

private:
    QProcess m_proc;
    bool m_ok = false;
};

} // namespace

class TestRecordingsLoader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n));
    }

    void timedOutBoundary_data();
    void timedOutBoundary();
    void overlaps_data();
    void overlaps();
    void recMinutes_data();
    void recMinutes();
    void takeOver_data();
    void takeOver();
    void emptyDatabase();
    void widthsSurviveAReload();
    void upgrade_data();
    void upgrade();
    void awkwardEntries();
    void uncomputableEntries_data();
    void uncomputableEntries();
    void refusedWhileRecording();
    void oneResetPerLoad();
    void waitsForAShortLock();
    void failedLoadKeepsTheList_data();
    void failedLoadKeepsTheList();

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
};

void TestRecordingsLoader::timedOutBoundary_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("pending");
    // 20:15 with 2 lead minutes starts recording at 20:13.
    QTest::newRow("20:11:59") << at(20, 11, 59) << true;
    QTest::newRow("20:12:00") << at(20, 12, 0) << true;
    QTest::newRow("20:12:01") << at(20, 12, 1) << false;
    QTest::newRow("20:13:00") << at(20, 13, 0) << false;
}

void TestRecordingsLoader::timedOutBoundary()
{
    QFETCH(QDateTime, now);
    QFETCH(bool, pending);
    DbFixture f(m_path);
    f.channel(7, " One ");
    f.record(7, "2026.12.05 20:15", "2026.12.05 21:00", " News ", 2, 0);
    Harness h(m_path);
    QVERIFY(h.open());
    h.clock.set(now);
    h.state.settings.startPendingRecord = false; // no take-over of the running programme
    h.load();
    QCOMPARE(h.todo.rows(), 2);
    QCOMPARE(h.todo.rowColour(1), pending ? Colour::Default : Colour::TimedOut);
    QCOMPARE(h.todo.recordingCount, pending ? 1 : 0);
    QCOMPARE(h.todo.nextEventRow, pending ? 1 : 0);
    QCOMPARE(h.cell(1, TodoList::RecStart), QStringLiteral("2026-12-05 20:13:00"));
    QCOMPARE(h.cell(1, TodoList::SortKey), QStringLiteral("202612052013"));
    QCOMPARE(h.view.nextEventText, pending ? QStringLiteral("2026-12-05 20:13:00") : QString());
    QVERIFY(h.timer.active);
    const QString timedOutLine = QStringLiteral("Timed out:  One 2026-12-05 20:15:00 News");
    QCOMPARE(h.activity.lines().contains(timedOutLine), !pending);
    QCOMPARE(h.countLines(), QStringList{formatDefault(now) + ":   " + (pending ? "1" : "0") +
                                         " Recordings added to ToDo list"});
}

void TestRecordingsLoader::overlaps_data()
{
    QTest::addColumn<QStringList>("entries"); // "title start end pre post" (times hh:mm)
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("ignoreOverlap");
    QTest::addColumn<QString>("colours"); // per sorted row: . default, r timed out, y overlap
    QTest::addColumn<bool>("tickOn");
    QStringList ab{"A 20:00 21:00 0 5"};
    QTest::newRow("starts at the recording end")
        << (ab << "B 21:05 22:00 0 0") << at(19, 0) << false << ".y" << false;
    QTest::newRow("one minute later passes")
        << QStringList{"A 20:00 21:00 0 5", "B 21:06 22:00 0 0"} << at(19, 0) << false << ".."
        << true;
    QTest::newRow("lead minute reaches back")
        << QStringList{"A 20:00 21:00 0 5", "B 21:06 22:00 1 0"} << at(19, 0) << false << ".y"
        << false;
    QTest::newRow("neighbours only")
        << QStringList{"A 20:00 23:00 0 0", "B 20:30 20:45 0 0", "C 22:00 22:30 0 0"} << at(19, 0)
        << false << ".y." << false;
    QTest::newRow("timed-out pair not reported")
        << QStringList{"A 20:00 21:00 0 5", "B 21:05 22:00 0 0"} << at(21, 30) << false << "rr"
        << true;
    QTest::newRow("ignored overlap runs") << QStringList{"A 20:00 21:00 0 5", "B 21:05 22:00 0 0"}
                                          << at(19, 0) << true << ".y" << true;
    QTest::newRow("same start, the later row is marked")
        << QStringList{"A 20:00 21:00 0 0", "B 20:00 20:30 0 0"} << at(19, 0) << false << ".y"
        << false;
}

void TestRecordingsLoader::overlaps()
{
    QFETCH(QStringList, entries);
    QFETCH(QDateTime, now);
    QFETCH(bool, ignoreOverlap);
    QFETCH(QString, colours);
    QFETCH(bool, tickOn);
    DbFixture f(m_path);
    f.channel(1, "One");
    // Stored in reverse, so that the sort has something to do.
    for (auto it = entries.crbegin(); it != entries.crend(); ++it) {
        const QStringList p = it->split(' ');
        f.record(1, "2026.12.05 " + p[1], "2026.12.05 " + p[2], p[0], p[3].toInt(), p[4].toInt());
    }
    Harness h(m_path);
    QVERIFY(h.open());
    h.clock.set(now);
    h.state.settings.ignoreOverlap = ignoreOverlap;
    h.load();
    QCOMPARE(h.todo.rows(), entries.size() + 1);
    QString got;
    for (int r = 1; r < h.todo.rows(); ++r) {
        const Colour c = h.todo.rowColour(r);
        got += c == Colour::Default ? '.' : c == Colour::TimedOut ? 'r' : 'y';
    }
    QCOMPARE(got, colours);
    QCOMPARE(h.timer.active, tickOn);
    const bool warned = h.prompter.texts().contains(h.state.msg.MsgOverlap);
    QCOMPARE(warned, !tickOn);
    QCOMPARE(h.view.clockRed, !tickOn);
    if (!tickOn)
        QCOMPARE(h.view.clockText, QStringLiteral("Not started"));
    // Sorted by recording start.
    for (int r = 2; r < h.todo.rows(); ++r)
        QVERIFY(h.cell(r - 1, TodoList::SortKey) <= h.cell(r, TodoList::SortKey));
}

void TestRecordingsLoader::recMinutes_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<int>("pre");
    QTest::addColumn<int>("post");
    QTest::addColumn<int>("minutes");
    QTest::newRow("plain") << "2026.12.05 20:15"
                           << "2026.12.05 21:00" << 0 << 0 << 45;
    QTest::newRow("lead and trail") << "2026.12.05 20:15"
                                    << "2026.12.05 21:00" << 2 << 5 << 52;
    QTest::newRow("across midnight") << "2026.12.05 23:00"
                                     << "2026.12.06 01:00" << 0 << 0 << 120;
    QTest::newRow("from 23:58") << "2026.12.05 23:58"
                                << "2026.12.06 00:03" << 0 << 0 << 5;
    QTest::newRow("exactly 24 hours") << "2026.12.05 20:00"
                                      << "2026.12.06 20:00" << 0 << 0 << 0;
    QTest::newRow("25 hours") << "2026.12.05 20:00"
                              << "2026.12.06 21:00" << 0 << 0 << 60;
    QTest::newRow("zero length") << "2026.12.05 20:00"
                                 << "2026.12.05 20:00" << 0 << 0 << 0;
    QTest::newRow("999 trail minutes") << "2026.12.05 20:00"
                                       << "2026.12.05 20:00" << 0 << 999 << 999;
    // Real minutes across a daylight-saving change (TZ=Europe/Berlin): the autumn night has
    // an hour more, the spring night an hour less than the wall clock says.
    QTest::newRow("autumn change") << "2026.10.25 01:30"
                                   << "2026.10.25 03:30" << 0 << 0 << 180;
    QTest::newRow("spring change") << "2026.03.29 01:30"
                                   << "2026.03.29 03:30" << 0 << 0 << 60;
    QTest::newRow("autumn, lead before the change") << "2027.10.31 02:05"
                                                    << "2027.10.31 04:00" << 10 << 0 << 185;
    QTest::newRow("day after the change") << "2026.10.26 01:30"
                                          << "2026.10.26 03:30" << 0 << 0 << 120;
}

void TestRecordingsLoader::recMinutes()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(int, pre);
    QFETCH(int, post);
    QFETCH(int, minutes);
    DbFixture f(m_path);
    f.channel(1, "One");
    f.record(1, start, end, "X", pre, post);
    Harness h(m_path);
    QVERIFY(h.open());
    h.clock.set(at(12, 0, 0, 1, 1));
    h.load();
    QCOMPARE(h.todo.rows(), 2);
    QCOMPARE(h.cell(1, TodoList::RecMinutes), QString::number(minutes));
}

void TestRecordingsLoader::takeOver_data()
{
    QTest::addColumn<QStringList>("entries"); // "title start end pre post"
    QTest::addColumn<bool>("startPending");
    QTest::addColumn<QString>("takenTitle"); // empty: none
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("count");
    QTest::newRow("one running") << QStringList{"Run 19:00 22:00 0 5", "Later 23:00 23:30 0 0"}
                                 << true << "Run" << 95 << 2;
    QTest::newRow("one running, alone")
        << QStringList{"Run 19:00 22:00 0 0"} << true << "Run" << 90 << 1;
    QTest::newRow("two running") << QStringList{"Run 19:00 22:00 0 5", "Too 20:00 21:00 0 0"}
                                 << true << "" << 0 << 0;
    QTest::newRow("switched off") << QStringList{"Run 19:00 22:00 0 5"} << false << "" << 0 << 0;
    QTest::newRow("ends within two minutes")
        << QStringList{"Run 19:00 20:31 0 5"} << true << "" << 0 << 0;
    QTest::newRow("ends in two minutes")
        << QStringList{"Run 19:00 20:32 0 5"} << true << "Run" << 7 << 1;
    QTest::newRow("running beside an ended one with the same start")
        << QStringList{"Ended 19:00 19:30 0 0", "Run 19:00 22:00 0 0"} << true << "Run" << 90 << 1;
    QTest::newRow("not over an overlap")
        << QStringList{"Run 19:00 22:00 0 5", "A 21:00 21:30 0 0", "B 21:10 21:40 0 0"} << true
        << "" << 0 << 2;
}

void TestRecordingsLoader::takeOver()
{
    QFETCH(QStringList, entries);
    QFETCH(bool, startPending);
    QFETCH(QString, takenTitle);
    QFETCH(int, minutes);
    QFETCH(int, count);
    DbFixture f(m_path);
    f.channel(1, "One");
    for (const QString& e : entries) {
        const QStringList p = e.split(' ');
        f.record(1, "2026.12.05 " + p[1], "2026.12.05 " + p[2], p[0], p[3].toInt(), p[4].toInt());
    }
    Harness h(m_path);
    QVERIFY(h.open());
    h.clock.set(at(20, 30, 0));
    h.state.settings.startPendingRecord = startPending;
    h.load();
    QCOMPARE(h.todo.recordingCount, count);
    const QStringList lines = h.countLines();
    QCOMPARE(lines.size(), 1); // replaced, not added
    QCOMPARE(lines.first(),
             QStringLiteral("2026-12-05 20:30:00:   %1 Recordings added to ToDo list").arg(count));
    QCOMPARE(h.activity.lines().last(), lines.first());
    if (takenTitle.isEmpty()) {
        for (int r = 1; r < h.todo.rows(); ++r)
            if (h.todo.rowColour(r) == Colour::TimedOut)
                QVERIFY(h.todo.nextEventRow != r);
        return;
    }
    const int r = h.rowOf(takenTitle);
    QVERIFY(r > 0);
    QCOMPARE(h.todo.nextEventRow, r);
    QCOMPARE(h.todo.nextEventTime, h.clock.nowSerial());
    QCOMPARE(h.cell(r, TodoList::StartTime), QStringLiteral("2026-12-05 20:30:00"));
    QCOMPARE(h.cell(r, TodoList::RecStart), QStringLiteral("2026-12-05 20:30:00"));
    QCOMPARE(h.cell(r, TodoList::RecMinutes), QString::number(minutes));
    QCOMPARE(h.todo.rowColour(r), Colour::TimedOut); // stays red
    QCOMPARE(h.cell(r, TodoList::SortKey), QStringLiteral("202612051900"));
    QVERIFY(h.timer.active);
}

void TestRecordingsLoader::emptyDatabase()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    Harness h(m_path);
    QVERIFY(h.open());
    h.state.pendingPowerAction = QStringLiteral("Shutdown");
    h.todo.recordingCount = 4;
    h.load();
    QCOMPARE(h.todo.rows(), 1);
    QCOMPARE(h.todo.recordingCount, 0);
    QCOMPARE(h.todo.nextEventTime, TodoList::kNoEventLoaded);
    QCOMPARE(h.todo.nextEventRow, 0);
    QCOMPARE(h.todo.nextEventColumn, 12);
    QCOMPARE(h.state.pendingPowerAction, QString());
    QCOMPARE(h.view.nextEventText, QString());
    QVERIFY(h.timer.active);
    QVERIFY(!h.view.waitCursor);
    QCOMPARE(h.activity.lines(),
             (QStringList{"2026-12-05 19:00:00:   Get Recordings",
                          "2026-12-05 19:00:00:   0 Recordings added to ToDo list"}));
    QCOMPARE(h.todo.header(3), QStringLiteral("STARTTIME"));
    QCOMPARE(h.todo.header(8), QStringLiteral("POSTRECORD"));
    for (int c = TodoList::SortKey; c < TodoList::ColumnCount; ++c)
        QCOMPARE(h.todo.columnWidth(c), 0);
}

void TestRecordingsLoader::widthsSurviveAReload()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    Harness h(m_path);
    QVERIFY(h.open());
    h.todo.savedWidths = {500, 1100, 1200, 1300, 2222, 1500, 1600, 1700};
    // A width set before the first build does not replace what start-up read.
    h.todo.setColumnWidth(5, 999);
    h.load();
    QCOMPARE(h.todo.columnWidth(0), 150);
    QCOMPARE(h.todo.columnWidth(5), 2222);
    QCOMPARE(h.todo.columnWidth(8), 1700);
    h.todo.setColumnWidth(5, 3000); // the user drags
    h.load();
    QCOMPARE(h.todo.columnWidth(5), 3000);
    QCOMPARE(h.todo.savedWidths[4], qint16(3000));
    QCOMPARE(h.todo.columnWidth(1), 500);
    QCOMPARE(h.todo.columnWidth(TodoList::RecMinutes), 0);
}

void TestRecordingsLoader::upgrade_data()
{
    QTest::addColumn<QString>("shape");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("box"); // the box after the question, or the only box
    QTest::addColumn<bool>("keyKept");
    QTest::addColumn<int>("columnsAfter");
    QTest::newRow("8, yes") << "old" << true << "OK Database actualized, Please Restart Dorvel!"
                            << true << 10;
    QTest::newRow("8, no") << "old" << false << "" << false << 8;
    // An old table that already has PRERECORD: the first column fails, the second is added.
    QTest::newRow("8, update fails")
        << "old with PRERECORD" << true << "Database update failed!" << false << 9;
    // More than 8 columns is current, whatever they are; a load that then cannot find its
    // columns is a failed load, not a reason to forget the database.
    QTest::newRow("9, no question") << "9" << true << "kept" << true << 9;
    QTest::newRow("12, no question") << "12" << true << "" << true << 12;
}

void TestRecordingsLoader::upgrade()
{
    QFETCH(QString, shape);
    QFETCH(bool, yes);
    QFETCH(QString, box);
    QFETCH(bool, keyKept);
    QFETCH(int, columnsAfter);
    DbFixture f(m_path, shape == "12" ? 12 : 8);
    if (shape == "old with PRERECORD")
        f.run("ALTER TABLE RECORD DROP COLUMN CHARID");
    if (shape == "old with PRERECORD" || shape == "9")
        f.run("ALTER TABLE RECORD ADD COLUMN PRERECORD INTEGER");
    f.channel(1, "One");
    Harness h(m_path);
    QVERIFY(h.open());
    h.store.setOwn("OrbivuDBPath", m_path);
    h.view.trayIcon = true;
    h.prompter.answers.enqueue(yes ? Prompter::Answer::Yes : Prompter::Answer::No);
    h.load();
    const bool asked = shape.startsWith("old");
    QCOMPARE(h.prompter.texts().contains(h.state.msg.MsgDatabaseTooOld), asked);
    if (asked)
        QCOMPARE(h.prompter.shown.first().buttons, Prompter::Buttons::YesNo);
    QCOMPARE(h.ended, asked ? 1 : 0);
    QCOMPARE(h.view.trayIcon, !asked);
    QCOMPARE(h.store.contains("Dorvel", "Startup", "OrbivuDBPath"), keyKept);
    QCOMPARE(h.prompter.shown.size(), int(asked) + int(!box.isEmpty()));
    if (!box.isEmpty())
        QVERIFY2(h.prompter.texts().last().contains(box), qPrintable(h.prompter.texts().last()));
    if (box == "Database update failed!")
        QCOMPARE(h.prompter.shown.last().icon, Prompter::Icon::Critical);
    QCOMPARE(h.db.recordColumnCount(), std::optional<int>(columnsAfter));
    QCOMPARE(h.timer.active, shape == "12");
    QCOMPARE(h.todo.rows(), 1);
}

void TestRecordingsLoader::awkwardEntries()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    f.channel(2, "Twin");
    f.run("INSERT INTO CHANNELS VALUES(3, 'Twin', 3, 3, 3)");
    const QString longTitle(10000, QLatin1Char('t'));
    const QString emoji = QString::fromUtf8("Caf\xC3\xA9 \xF0\x9F\x8E\xAC");
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "Tom's \"Big\" 100% \t Show", 2, 2);
    f.record(2, "2026.12.05 21:15", "2026.12.05 22:00", longTitle);
    f.record(3, "2026.12.05 22:15", "2026.12.05 23:00", emoji, QVariant(), QVariant(), "x\ny");
    f.record(9, "2026.12.05 23:15", "2026.12.05 23:50", "no channel");
    Harness h(m_path);
    QVERIFY(h.open());
    h.load();
    QCOMPARE(h.todo.rows(), 4);
    QCOMPARE(h.todo.recordingCount, 3);
    QCOMPARE(h.cell(1, TodoList::ShortDesc), QStringLiteral("Tom's \"Big\" 100% \t Show"));
    QCOMPARE(h.cell(1, TodoList::RecMinutes), QStringLiteral("49"));
    QCOMPARE(h.cell(2, TodoList::ShortDesc), longTitle);
    QCOMPARE(h.cell(3, TodoList::ShortDesc), emoji);
    QCOMPARE(h.cell(3, TodoList::LongDesc), QStringLiteral("x\ny"));
    // NULL minutes: empty cells, counted as 0.
    QCOMPARE(h.cell(3, TodoList::PreRecord), QString());
    QCOMPARE(h.cell(3, TodoList::RecStart), QStringLiteral("2026-12-05 22:15:00"));
    QCOMPARE(h.cell(3, TodoList::RecMinutes), QStringLiteral("45"));
    QCOMPARE(h.cell(2, TodoList::Channel), QStringLiteral("Twin"));
    QCOMPARE(h.cell(3, TodoList::Num), QStringLiteral("3"));
    QVERIFY(h.rowOf("no channel") == 0);
    QCOMPARE(f.count(), 4);
    // Every listed entry can be found again by the texts of its row.
    for (int r = 1; r < h.todo.rows(); ++r)
        QVERIFY(h.db.takeFirstRecord(h.cell(r, TodoList::DbStartTime),
                                     h.cell(r, TodoList::DbEndTime), h.cell(r, TodoList::ShortDesc),
                                     h.cell(r, TodoList::LongDesc))
                    .has_value());
    QCOMPARE(f.count(), 1);
}

void TestRecordingsLoader::uncomputableEntries_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QVariant>("pre");
    QTest::addColumn<QString>("line");
    QTest::newRow("31 February") << "2026.02.31 20:15"
                                 << "2026.12.05 21:00" << QVariant(0)
                                 << "Invalid time:  One 2026.02.31 20:15 Bad";
    QTest::newRow("other form") << "05.12.2026 20:15"
                                << "2026.12.05 21:00" << QVariant(0)
                                << "Invalid time:  One 05.12.2026 20:15 Bad";
    QTest::newRow("bad end") << "2026.12.05 20:15"
                             << "tomorrow" << QVariant(0)
                             << "Invalid time:  One 2026.12.05 20:15 Bad";
    QTest::newRow("NULL start") << QString() << "2026.12.05 21:00" << QVariant(0)
                                << "Invalid time:  One  Bad";
    QTest::newRow("lead not a number")
        << "2026.12.05 20:15"
        << "2026.12.05 21:00" << QVariant("ten") << "Invalid minutes:  One 2026.12.05 20:15 Bad";
}

void TestRecordingsLoader::uncomputableEntries()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QVariant, pre);
    QFETCH(QString, line);
    DbFixture f(m_path);
    f.channel(1, "One");
    f.record(1, "2026.12.05 19:30", "2026.12.05 19:45", "Good"); // before the bad one in time
    f.run("INSERT INTO RECORD VALUES(1, 1, 1, ?, ?, 'Bad', '', 0, ?, 0)",
          {start.isNull() ? QVariant() : QVariant(start), end, pre});
    f.record(1, "2026.12.05 21:15", "2026.12.05 22:00", "Later");
    Harness h(m_path);
    QVERIFY(h.open());
    h.load();
    QCOMPARE(h.todo.rows(), 4);
    const int bad = h.rowOf("Bad");
    QCOMPARE(bad, 1);
    QCOMPARE(h.todo.rowColour(bad), Colour::TimedOut);
    QCOMPARE(h.cell(bad, TodoList::RecStart), QString());
    QCOMPARE(h.cell(bad, TodoList::DbStartTime), start);
    QCOMPARE(h.todo.recordingCount, 2);
    QCOMPARE(h.todo.nextEventRow, h.rowOf("Good"));
    QVERIFY(h.activity.lines().contains(line));
    QVERIFY(h.timer.active);
    QVERIFY(h.prompter.shown.isEmpty());
    // It can be deleted by the texts of its row.
    QVERIFY(h.db.takeFirstRecord(h.cell(bad, TodoList::DbStartTime),
                                 h.cell(bad, TodoList::DbEndTime), "Bad", "")
                .has_value());

    // Alone in the list, it still never becomes the next event.
    f.run("DELETE FROM RECORD");
    f.run("INSERT INTO RECORD VALUES(1, 1, 1, ?, ?, 'Bad', '', 0, ?, 0)",
          {start.isNull() ? QVariant() : QVariant(start), end, pre});
    h.load();
    QCOMPARE(h.todo.rows(), 2);
    QCOMPARE(h.todo.nextEventRow, 0);
    QCOMPARE(h.todo.nextEventTime, TodoList::kNoEventLoaded);
}

void TestRecordingsLoader::refusedWhileRecording()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    Harness h(m_path);
    QVERIFY(h.open());
    h.load();
    f.record(1, "2026.12.05 22:15", "2026.12.05 23:00", "B");
    h.state.orbivuState = 1;
    const QStringList before = h.activity.lines();
    h.load();
    QCOMPARE(h.prompter.texts(), QStringList{h.state.msg.MsgNoReloadWhileRecording});
    QCOMPARE(h.activity.lines(), before);
    QCOMPARE(h.todo.rows(), 2);
    QVERIFY(h.timer.active); // its state is left alone
    h.state.orbivuState = 2; // a viewer the user started does not stop a reload
    h.load();
    QCOMPARE(h.todo.rows(), 3);
}

void TestRecordingsLoader::oneResetPerLoad()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    for (int i = 0; i < 50; ++i)
        f.record(1, QStringLiteral("2026.12.%1 20:15").arg(6 + i % 20, 2, 10, QChar('0')),
                 QStringLiteral("2026.12.%1 21:00").arg(6 + i % 20, 2, 10, QChar('0')),
                 QString::number(i));
    Harness h(m_path);
    QVERIFY(h.open());
    QSignalSpy resets(&h.todo, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&h.todo, &QAbstractItemModel::rowsInserted);
    h.load();
    QCOMPARE(h.todo.rowCount(), 50);
    QCOMPARE(resets.size(), 1);
    QCOMPARE(inserts.size(), 0);
}

void TestRecordingsLoader::waitsForAShortLock()
{
    DbFixture f(m_path);
    f.channel(1, "One");
    f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A");
    Harness h(m_path);
    QVERIFY(h.open());
    Locker lock(m_path, 3);
    QVERIFY(lock.holdsLock());
    h.load();
    QVERIFY2(h.prompter.shown.isEmpty(), qPrintable(h.prompter.texts().join('|')));
    QCOMPARE(h.todo.rows(), 2);
    QVERIFY(h.timer.active);
}

void TestRecordingsLoader::failedLoadKeepsTheList_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("words");
    QTest::newRow("stays locked") << "lock"
                                  << "locked";
    QTest::newRow("vanished") << "remove"
                              << "no longer exists";
    QTest::newRow("damaged") << "garbage"
                             << "damaged";
}

void TestRecordingsLoader::failedLoadKeepsTheList()
{
    QFETCH(QString, damage);
    QFETCH(QString, words);
    {
        DbFixture f(m_path);
        f.channel(1, "One");
        f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A", 2, 0);
        f.record(1, "2026.12.05 18:15", "2026.12.05 18:30", "Old");
    }
    Harness h(m_path);
    QVERIFY(h.open());
    h.load();
    QCOMPARE(h.todo.rows(), 3);
    const QList<QStringList> cellsBefore = {{h.cell(1, 5), h.cell(1, 12), h.cell(1, 13)},
                                            {h.cell(2, 5), h.cell(2, 12), h.cell(2, 13)}};
    const double nextBefore = h.todo.nextEventTime;
    QCOMPARE(h.todo.nextEventRow, 2);

    std::unique_ptr<Locker> lock;
    if (damage == "lock") {
        lock = std::make_unique<Locker>(m_path, 0);
        QVERIFY(lock->holdsLock());
    } else if (damage == "remove") {
        QVERIFY(QFile::remove(m_path));
    } else {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(QByteArray(4096, 'x'));
    }
    h.load();
    QCOMPARE(h.prompter.shown.size(), 1);
    const QString text = h.prompter.shown.first().text;
    QVERIFY2(text.contains(words), qPrintable(text));
    QVERIFY2(text.contains("kept"), qPrintable(text));
    QCOMPARE(h.todo.rows(), 3);
    QCOMPARE((QList<QStringList>{{h.cell(1, 5), h.cell(1, 12), h.cell(1, 13)},
                                 {h.cell(2, 5), h.cell(2, 12), h.cell(2, 13)}}),
             cellsBefore);
    QCOMPARE(h.todo.rowColour(1), Colour::TimedOut);
    QCOMPARE(h.todo.nextEventTime, nextBefore);
    QCOMPARE(h.todo.nextEventRow, 2);
    QCOMPARE(h.todo.recordingCount, 1);
    QVERIFY(!h.timer.active);
    QVERIFY(h.view.clockRed);
    QCOMPARE(h.view.clockText, QStringLiteral("Not started"));
    QVERIFY(!h.view.waitCursor);
    QCOMPARE(h.ended, 0);
    QVERIFY(h.store.own("OrbivuDBPath") == "<absent>" || !h.store.own("OrbivuDBPath").isEmpty());

    // Once the file can be read again, the next load switches the tick back on.
    if (damage == "lock") {
        lock.reset();
        h.load();
        QVERIFY(h.timer.active);
        QVERIFY(!h.view.clockRed);
    }
}

QTEST_GUILESS_MAIN(TestRecordingsLoader)
#include "tst_recordingsloader.moc"
