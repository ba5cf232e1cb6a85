// The to-do list's in-place editor and range delete, through the real grid and edit box,
// over real SQLite files, with the real loader rebuilding the list after each change.

#include "../todolist/dbfixture.h"
#include "activitylist.h"
#include "appstate.h"
#include "deleteselection.h"
#include "fakes.h"
#include "recordingsloader.h"
#include "todoedit.h"
#include "todogrid.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using namespace dorvel::test;
using T = TodoList;

namespace {

// Five entries on 2026-12-05, listed in this order at 19:00; rowid = position.
const QStringList kTitles{"Alpha", "Bravo", "Charlie", "Delta", "Echo"};

struct Harness {
    explicit Harness(const QString& path) : fixture(path)
    {
        fixture.channel(1, "One");
        fixture.channel(2, "Two");
        const QStringList times{"05 20:15", "05 21:00", "05 21:30", "05 22:00", "05 22:30",
                                "05 23:00", "05 23:30", "05 23:40", "05 23:50", "06 00:30"};
        for (int i = 0; i < 5; ++i)
            fixture.record(1 + i % 2, "2026.12." + times[2 * i], "2026.12." + times[2 * i + 1],
                           kTitles[i], 2, 2, "about " + kTitles[i]);
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        db.open(path);
        grid.setModel(&todo);
        grid.setEditLogic(&edit);
        QObject::connect(&grid, &TodoGrid::deleteRequested, [this] {
            const auto [first, last] = grid.selectedRange();
            remove.deleteSelected(first, last);
        });
        grid.resize(1400, 400);
        grid.show();
        grid.activateWindow();
        (void)QTest::qWaitForWindowActive(&grid); // the clicks below give the focus anyway
        load();
        prompter.shown.clear();
    }
    void load()
    {
        loader.getRecordings();
        for (int c = T::SortKey; c < T::ColumnCount; ++c)
            grid.setColumnHidden(c - 1, true);
    }
    // Through the window, as the window system delivers a click: focus follows it.
    QPoint inWindow(int row, int column) const
    {
        const QPoint centre = grid.visualRect(todo.index(row - 1, column - 1)).center();
        return grid.viewport()->mapTo(&grid, centre);
    }
    void click(int row, int column, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(grid.windowHandle(), Qt::LeftButton, mods, inWindow(row, column));
    }
    void doubleClick(int row, int column)
    {
        click(row, column);
        QTest::mouseDClick(grid.windowHandle(), Qt::LeftButton, {}, inWindow(row, column));
    }
    QLineEdit* box() const { return grid.editBox(); }
    // Typed over the whole text; long texts and characters no test key gives are pasted.
    void type(const QString& text)
    {
        box()->selectAll();
        QTest::keyClick(box(), Qt::Key_Delete);
        if (text.size() > 100 || text.toLatin1() != text.toUtf8())
            box()->insert(text);
        else
            QTest::keyClicks(box(), text);
    }
    void open(int row, int column, const QString& text)
    {
        doubleClick(row, column);
        type(text);
    }
    QStringList titles() const
    {
        QStringList out;
        for (int r = 1; r < todo.rows(); ++r)
            out << todo.cell(r, T::ShortDesc);
        return out;
    }
    QVariant stored(int rowid, const QString& column)
    {
        const auto rows = fixture.rows(
            QStringLiteral("SELECT %1 FROM RECORD WHERE rowid = %2").arg(column).arg(rowid));
        return rows.isEmpty() ? QVariant(QStringLiteral("<gone>")) : rows.first().first();
    }
    QStringList storedTitles()
    {
        QStringList out;
        for (const QVariantList& r : fixture.rows("SELECT SHORTDESC FROM RECORD ORDER BY rowid"))
            out << r.first().toString();
        return out;
    }
    void checkTitles(const QStringList& expected)
    {
        QCOMPARE(titles(), expected);
        QCOMPARE(storedTitles(), expected);
    }
    // The scheduler starts Alpha: the viewer takes it from the database and its row goes.
    void startAlpha()
    {
        QVERIFY(db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "Alpha", "about Alpha"));
        todo.removeRow(1);
    }

    DbFixture fixture;
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("grid")};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{QDateTime(QDate(2026, 12, 5), QTime(19, 0))};
    MemorySettingsStore store;
    int reloads = 0;
    RecordingsLoader loader{state, todo, activity, db, prompter, view, timer, clock, store, [] {}};
    std::function<void()> reload = [this] {
        ++reloads;
        load();
    };
    TodoEdit edit{{state, todo, activity, db, prompter, view, clock, reload}};
    DeleteSelection remove{{state, todo, db, prompter, reload}};
    TodoGrid grid;
};

// Alpha's cell edited and left with a key (Tab: a click on another cell). Alpha's title has
// blanks around it, which the box does not show and an unchanged title keeps.
struct Edit {
    int column;
    QString typed;
    int key;
    QString message; // the box shown; empty: none
    QVariant stored; // Alpha's column afterwards; written when it changed
};

struct Delete {
    int first, last; // the rows selected by a click and a Shift+click or Shift+Down
    bool keys;
    // v: Charlie gone, d: Bravo twice, u: user's viewer, l: database locked, r: recording;
    // Alpha started during the question (s), or its start failed (f)
    QString prepare;
    bool ok; // the answer to the question
    QStringList left;
    QStringList message; // what the last box says, in parts; none: no box but the question
};

} // namespace

Q_DECLARE_METATYPE(Edit)
Q_DECLARE_METATYPE(Delete)

class TestTodoGrid : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    QString path() { return m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n)); }

private Q_SLOTS:
    void commit_data()
    {
        QTest::addColumn<Edit>("e");
        const int enter = Qt::Key_Return, pre = T::PreRecord, start = T::StartTime;
        const QString range = "Pre und Post-record minutes must be between 0 and 59";
        const QString order = "Endtime must be behind starttime";
        const QVariant start0("2026.12.05 20:15");
        QTest::addRow("lead 10") << Edit{pre, "10", enter, "", 10};
        QTest::addRow("trail 59, Down") << Edit{T::PostRecord, " 59 ", Qt::Key_Down, "", 59};
        QTest::addRow("lead 0, Up") << Edit{pre, "0", Qt::Key_Up, "", 0};
        QTest::addRow("lead 60") << Edit{pre, "60", enter, range, 2};
        QTest::addRow("lead -1") << Edit{pre, "-1", enter, range, 2};
        QTest::addRow("lead 2.5") << Edit{pre, "2.5", enter, range, 2};
        QTest::addRow("31.02.") << Edit{start, "31.02.2026 20:15", enter, "Illegal date/time",
                                        start0};
        QTest::addRow("start after end") << Edit{start, "05.12.2026 21:01", enter, order, start0};
        QTest::addRow("start equal to end")
            << Edit{start, "2026-12-05 21:00", enter, "", "2026.12.05 21:00"};
        QTest::addRow("seconds dropped")
            << Edit{start, "2026-12-05 20:05:59", enter, "", "2026.12.05 20:05"};
        QTest::addRow("end, database form")
            << Edit{T::EndTime, "2026.12.06 01:00", enter, "", "2026.12.06 01:00"};
        const int title = T::ShortDesc;
        const QVariant alpha("  Alpha  ");
        QTest::addRow("blank title")
            << Edit{title, "   ", enter, "Entry must have at least 2 chars", alpha};
        QTest::addRow("Escape after typing") << Edit{title, "Zulu", Qt::Key_Escape, "", alpha};
        QTest::addRow("leaving, unchanged") << Edit{title, "Alpha", Qt::Key_Tab, "", alpha};
        const QString odd = QString::fromUtf8("Tom's \"Big\" ' OR '1'='1 Ωμέγα 東京 a\tb\x01z");
        QTest::addRow("quotes, any script, control characters")
            << Edit{T::ShortDesc, odd, enter, "", odd};
        const QString longTitle(10000, QLatin1Char('x'));
        QTest::addRow("10000 characters") << Edit{T::ShortDesc, longTitle, enter, "", longTitle};
        QTest::addRow("leaving the cell")
            << Edit{T::ShortDesc, "Alphonse", Qt::Key_Tab, "", "Alphonse"};
    }
    void commit()
    {
        QFETCH(Edit, e);
        Harness h(path());
        h.fixture.run("UPDATE RECORD SET SHORTDESC = '  Alpha  ' WHERE rowid = 1");
        h.load();
        const QString cellBefore = h.todo.cell(1, e.column);
        const bool written = e.stored != h.stored(1, h.todo.header(e.column));
        const int lines = int(h.activity.lines().size());
        h.doubleClick(1, e.column);
        QVERIFY(h.box()->isVisible());
        QCOMPARE(h.box()->text(), cellBefore.trimmed());
        QCOMPARE(h.box()->cursorPosition(), 0);
        QCOMPARE(h.box()->geometry(), h.grid.visualRect(h.todo.index(0, e.column - 1)));
        h.type(e.typed);
        if (e.key == Qt::Key_Tab)
            h.click(4, T::Num);
        else
            QTest::keyClick(h.box(), Qt::Key(e.key));

        QVERIFY(!h.box()->isVisible());
        QCOMPARE(h.stored(1, h.todo.header(e.column)), e.stored);
        // A longer trail may make the reloaded list report an overlap; that box is the loader's.
        QStringList shown = h.prompter.texts();
        shown.removeAll(h.state.msg.MsgOverlap);
        QCOMPARE(shown, e.message.isEmpty() ? QStringList() : QStringList{e.message});
        QCOMPARE(h.reloads, written ? 1 : 0);
        if (written) {
            QVERIFY(h.activity.lines().at(lines).endsWith(":   Recordings edited"));
        } else { // the cell as it was, nothing logged
            QCOMPARE(h.todo.cell(1, e.column), cellBefore);
            QCOMPARE(h.activity.lines().size(), lines);
        }
        QCOMPARE(h.storedTitles().mid(1), kTitles.mid(1));
        // Up and Down move the current cell from the edited row; a click goes where it points.
        const int row = e.key == Qt::Key_Tab ? 3 : e.key == Qt::Key_Down ? 1 : 0;
        QCOMPARE(h.grid.currentIndex().row(), row);
    }

    // No box while a viewer runs (also one the tick has not seen yet), nor on other columns.
    void noEditBox_data()
    {
        QTest::addColumn<int>("viewerState"); // 3: just started, task known, state not yet
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("gesture"); // 0 double-click, else the key
        QTest::addColumn<bool>("opens");
        QTest::addRow("viewer recording") << 1 << int(T::ShortDesc) << 0 << false;
        QTest::addRow("viewer of the user, F2")
            << 2 << int(T::ShortDesc) << int(Qt::Key_F2) << false;
        QTest::addRow("viewer just started")
            << 3 << int(T::PreRecord) << int(Qt::Key_Return) << false;
        QTest::addRow("Num") << 0 << int(T::Num) << 0 << false;
        QTest::addRow("LONGDESC") << 0 << int(T::LongDesc) << int(Qt::Key_Return) << false;
        QTest::addRow("editable, F2") << 0 << int(T::EndTime) << int(Qt::Key_F2) << true;
        QTest::addRow("editable, Enter") << 0 << int(T::StartTime) << int(Qt::Key_Return) << true;
    }
    void noEditBox()
    {
        QFETCH(int, viewerState);
        QFETCH(int, column);
        QFETCH(int, gesture);
        Harness h(path());
        if (viewerState == 3)
            h.state.orbivuTaskId = 4711;
        else
            h.state.orbivuState = viewerState;
        h.click(1, column);
        if (gesture)
            QTest::keyClick(&h.grid, Qt::Key(gesture));
        else
            QTest::mouseDClick(h.grid.windowHandle(), Qt::LeftButton, {}, h.inWindow(1, column));
        QTEST(h.box()->isVisible(), "opens");
    }

    // Two entries with the same times: the change goes to the one the user edited.
    void editTellsEntriesWithTheSameTimesApart()
    {
        Harness h(path());
        h.fixture.record(2, "2026.12.05 20:15", "2026.12.05 21:00", "Alpha Two", 2, 2, "");
        h.load();
        QCOMPARE(h.titles().mid(0, 2), (QStringList{"Alpha", "Alpha Two"}));
        h.open(2, T::PostRecord, "7");
        QTest::keyClick(h.box(), Qt::Key_Return);
        QCOMPARE(h.stored(1, "POSTRECORD"), QVariant(2));
        QCOMPARE(h.stored(6, "POSTRECORD"), QVariant(7));
    }

    // A title being renamed while the scheduler starts Alpha (a box on that row goes without
    // writing, one below follows its entry), the viewer deletes the entry, locks the database,
    // or a recording starts: the user is told, and the list shows what the database holds.
    void meanwhile_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("meanwhile"); // "start", "recording" or a statement
        QTest::addColumn<QString>("message");   // the start of the box shown; empty: none
        QTest::addColumn<int>("reloads");
        QTest::addColumn<QStringList>("titles");
        QTest::addRow("Alpha started") << 1 << "start"
                                       << "" << 0 << kTitles.mid(1);
        QTest::addRow("Alpha started, box below")
            << 2 << "start"
            << "" << 1 << QStringList{"Bravo renamed", "Charlie", "Delta", "Echo"};
        QTest::addRow("deleted by the viewer")
            << 2 << "DELETE FROM RECORD WHERE rowid = 2"
            << "ERROR Record not found" << 1 << QStringList{"Alpha", "Charlie", "Delta", "Echo"};
        QTest::addRow("locked by the viewer")
            << 2 << "BEGIN EXCLUSIVE"
            << "ERROR writting to database\n\nthe database file is locked" << 1 << kTitles;
        QTest::addRow("recording started")
            << 2 << "recording"
            << "Orbivu is recording: the change was not saved." << 0 << kTitles;
    }
    void meanwhile()
    {
        QFETCH(int, row);
        QFETCH(QString, meanwhile);
        QFETCH(QString, message);
        Harness h(path());
        h.open(row, T::ShortDesc, kTitles.at(row - 1) + " renamed");
        if (meanwhile == "start") {
            h.startAlpha();
        } else if (meanwhile == "recording") {
            h.state.orbivuTaskId = 4711;
            h.state.orbivuState = 1;
        } else {
            h.fixture.run(meanwhile);
        }
        const int shownRow = meanwhile == "start" ? row - 2 : row - 1;
        QCOMPARE(h.box()->isVisible(), shownRow >= 0);
        if (shownRow >= 0) {
            QCOMPARE(h.box()->geometry(),
                     h.grid.visualRect(h.todo.index(shownRow, T::ShortDesc - 1)));
            QTest::keyClick(h.box(), Qt::Key_Return);
        }
        if (meanwhile.startsWith("BEGIN"))
            h.fixture.run("COMMIT");
        QCOMPARE(h.prompter.shown.isEmpty(), message.isEmpty());
        if (!message.isEmpty()) {
            QVERIFY2(h.prompter.texts().first().startsWith(message),
                     qPrintable(h.prompter.texts().first()));
            QVERIFY(!h.activity.lines().last().endsWith("Recordings edited"));
        }
        QTEST(h.reloads, "reloads");
        QFETCH(QStringList, titles);
        h.checkTitles(titles);
    }

    void deleteRange_data()
    {
        QTest::addColumn<Delete>("d");
        const QStringList ends{"Alpha", "Echo"};
        const QStringList refusal{"Orbivu is running! Please close it (Delete is not possible "
                                  "otherwise)"};
        QTest::addRow("rows 2 to 4, mouse") << Delete{2, 4, false, "", true, ends, {}};
        QTest::addRow("rows 2 to 4, keyboard") << Delete{2, 4, true, "", true, ends, {}};
        QTest::addRow("user's viewer running") << Delete{2, 4, true, "u", true, ends, {}};
        QTest::addRow("cancel") << Delete{2, 4, false, "", false, kTitles, {}};
        const QStringList vanished{"ERROR: 1 recording(s) could not be deleted:\n1 One, "
                                   "2026-12-05 22:30:00, \"Charlie\": the entry is no longer"};
        QTest::addRow("one row vanished") << Delete{2, 4, false, "v", true, ends, vanished};
        QTest::addRow("identical entries, one selected")
            << Delete{3, 3, false, "d", true, kTitles, {}};
        // Tried once: a locked file is no reason to try the others.
        const QStringList locked{"ERROR: 3 recording(s) could not be deleted:\n",
                                 "\"Bravo\": the database file is locked", "\"Charlie\": not tried",
                                 "\"Delta\": not tried"};
        QTest::addRow("locked") << Delete{2, 4, false, "l", true, kTitles, locked};
        // The scheduler may start Alpha while the question is open: a viewer that did start
        // refuses the delete, one that did not leaves the rest to go.
        QTest::addRow("recording before the question")
            << Delete{1, 3, false, "r", true, kTitles, refusal};
        QTest::addRow("started during the question")
            << Delete{1, 3, false, "s", true, kTitles.mid(1), refusal};
        QTest::addRow("start failed during the question")
            << Delete{1, 3, false, "f", true, {"Delta", "Echo"}, {}};
    }
    void deleteRange()
    {
        QFETCH(Delete, d);
        Harness h(path());
        if (d.prepare == "d") {
            h.fixture.record(2, "2026.12.05 21:30", "2026.12.05 22:00", "Bravo", 2, 2,
                             "about Bravo");
            h.load();
            h.prompter.shown.clear(); // the two overlap
        }
        if (d.prepare == "u" || d.prepare == "r")
            h.state.orbivuState = d.prepare == "u" ? 2 : 1;
        if (d.prepare == "s" || d.prepare == "f") {
            h.prompter.onShow = [&h, task = d.prepare == "s" ? 4711 : 0](const Prompter::Box&) {
                h.prompter.onShow = nullptr;
                h.startAlpha();
                h.state.orbivuTaskId = task;
            };
        }
        const int loads = h.reloads;
        h.click(d.first, T::Channel);
        if (d.last > d.first && !d.keys)
            h.click(d.last, T::Channel, Qt::ShiftModifier);
        for (int r = d.first; d.keys && r < d.last; ++r)
            QTest::keyClick(&h.grid, Qt::Key_Down, Qt::ShiftModifier);
        if (d.prepare == "v")
            h.fixture.run("DELETE FROM RECORD WHERE rowid = 3");
        if (d.prepare == "l")
            h.fixture.run("BEGIN EXCLUSIVE");
        h.prompter.answers.enqueue(d.ok ? Prompter::Answer::Ok : Prompter::Answer::Cancel);
        QTest::keyClick(&h.grid, Qt::Key_Delete);
        if (d.prepare == "l")
            h.fixture.run("COMMIT");

        const bool refused = d.prepare == "r" || d.prepare == "s";
        if (d.prepare != "r") {
            QCOMPARE(h.prompter.shown.first().text, QStringLiteral("Delete selected recordings ?"));
            QCOMPARE(h.prompter.shown.first().buttons, Prompter::Buttons::OkCancel);
        }
        if (d.message.isEmpty())
            QCOMPARE(h.prompter.shown.size(), 1);
        for (const QString& part : d.message)
            QVERIFY2(h.prompter.shown.last().text.contains(part), qPrintable(part));
        QCOMPARE(h.titles(), d.left);
        QStringList stored = h.storedTitles();
        stored.sort();
        d.left.sort();
        QCOMPARE(stored, d.left);
        QCOMPARE(h.reloads - loads, d.ok && !refused ? 1 : 0);
    }
};

QTEST_MAIN(TestTodoGrid)
#include "tst_todogrid.moc"
