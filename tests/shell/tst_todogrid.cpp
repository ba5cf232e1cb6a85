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

#include <QHeaderView>
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
        active = QTest::qWaitForWindowActive(&grid);
        load();
        prompter.shown.clear();
    }
    void load()
    {
        loader.getRecordings();
        for (int c = T::SortKey; c < T::ColumnCount; ++c)
            grid.setColumnHidden(c - 1, true);
    }
    QPoint centre(int row, int column) const
    {
        return grid.visualRect(todo.index(row - 1, column - 1)).center();
    }
    // Through the window, as the window system delivers a click: focus follows it.
    QPoint inWindow(int row, int column) const
    {
        return grid.viewport()->mapTo(&grid, centre(row, column));
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
    // Replaces the box's text as a user selecting all and typing (or pasting) does.
    void type(const QString& text)
    {
        box()->selectAll();
        // Long texts and characters no key of the test keyboard gives are pasted.
        const bool typeable = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.unicode() >= 0x20 && c.unicode() < 0x7f;
        });
        if (text.size() > 100 || !typeable)
            box()->insert(text);
        else if (text.isEmpty())
            QTest::keyClick(box(), Qt::Key_Delete);
        else
            QTest::keyClicks(box(), text);
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
    void reload()
    {
        ++reloads;
        load();
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
    bool active = false;
    RecordingsLoader loader{state, todo, activity, db, prompter, view, timer, clock, store, [] {}};
    TodoEdit edit{{state, todo, activity, db, prompter, view, clock, [this] { reload(); }}};
    DeleteSelection remove{{state, todo, db, prompter, [this] { reload(); }}};
    TodoGrid grid;
};

} // namespace

class TestTodoGrid : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_n = 0;
    QString path() { return m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n)); }

private Q_SLOTS:
    void commit_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("message"); // "" when the change is written
        QTest::addColumn<QVariant>("stored"); // Alpha's column afterwards
        const int enter = Qt::Key_Return;
        const QString range = "Pre und Post-record minutes must be between 0 and 59";
        const QString illegal = "Illegal date/time", order = "Endtime must be behind starttime";
        QTest::newRow("lead 2 to 10") << int(T::PreRecord) << "10" << enter << "" << QVariant(10);
        QTest::newRow("trail 59, Down")
            << int(T::PostRecord) << " 59 " << int(Qt::Key_Down) << "" << QVariant(59);
        QTest::newRow("lead 0, Up")
            << int(T::PreRecord) << "0" << int(Qt::Key_Up) << "" << QVariant(0);
        QTest::newRow("lead 60") << int(T::PreRecord) << "60" << enter << range << QVariant(2);
        QTest::newRow("lead -1") << int(T::PreRecord) << "-1" << enter << range << QVariant(2);
        QTest::newRow("lead abc") << int(T::PreRecord) << "abc" << enter << range << QVariant(2);
        QTest::newRow("lead 2.5") << int(T::PreRecord) << "2.5" << enter << range << QVariant(2);
        QTest::newRow("trail empty") << int(T::PostRecord) << "" << enter << range << QVariant(2);
        QTest::newRow("start 31.02.2026") << int(T::StartTime) << "31.02.2026 20:15" << enter
                                          << illegal << QVariant("2026.12.05 20:15");
        QTest::newRow("start 2026.02.30") << int(T::StartTime) << "2026.02.30 20:15" << enter
                                          << illegal << QVariant("2026.12.05 20:15");
        QTest::newRow("start 24:00") << int(T::StartTime) << "2026-12-05 24:00" << enter << illegal
                                     << QVariant("2026.12.05 20:15");
        QTest::newRow("start after end") << int(T::StartTime) << "05.12.2026 21:01" << enter
                                         << order << QVariant("2026.12.05 20:15");
        QTest::newRow("end before start") << int(T::EndTime) << "2026-12-05 20:14" << enter << order
                                          << QVariant("2026.12.05 21:00");
        QTest::newRow("start equal to end") << int(T::StartTime) << "2026-12-05 21:00" << enter
                                            << "" << QVariant("2026.12.05 21:00");
        QTest::newRow("start, seconds dropped") << int(T::StartTime) << "2026-12-05 20:05:59"
                                                << enter << "" << QVariant("2026.12.05 20:05");
        QTest::newRow("end, database form")
            << int(T::EndTime) << "2026.12.06 01:00" << enter << "" << QVariant("2026.12.06 01:00");
        QTest::newRow("empty title") << int(T::ShortDesc) << "" << enter
                                     << "Entry must have at least 2 chars" << QVariant("Alpha");
        QTest::newRow("blank title") << int(T::ShortDesc) << "   " << enter
                                     << "Entry must have at least 2 chars" << QVariant("Alpha");
        const QString quoted = "Tom's \"Big\" 100% ' OR '1'='1";
        QTest::newRow("quotes") << int(T::ShortDesc) << quoted << enter << "" << QVariant(quoted);
        const QString wide = QString::fromUtf8("Ωμέγα – 東京 \u00e4");
        QTest::newRow("outside cp1252")
            << int(T::ShortDesc) << wide << enter << "" << QVariant(wide);
        const QString control = "a\tb\x01z";
        QTest::newRow("control characters")
            << int(T::ShortDesc) << control << enter << "" << QVariant(control);
        const QString longTitle = QString(10000, QLatin1Char('x'));
        QTest::newRow("10000 characters")
            << int(T::ShortDesc) << longTitle << enter << "" << QVariant(longTitle);
    }
    void commit()
    {
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, message);
        QFETCH(QVariant, stored);
        Harness h(path());
        const QStringList before = h.titles();
        const QString cellBefore = h.todo.cell(1, column);
        const int lines = int(h.activity.lines().size());

        h.doubleClick(1, column);
        QVERIFY(h.box()->isVisible());
        h.type(typed);
        QTest::keyClick(h.box(), Qt::Key(key));

        QVERIFY(!h.box()->isVisible());
        QCOMPARE(h.stored(1, h.todo.header(column)), stored);
        // A longer trail may make the reloaded list report an overlap; that box is the loader's.
        QStringList shown = h.prompter.texts();
        shown.removeAll(h.state.msg.MsgOverlap);
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty()) {
            QCOMPARE(h.reloads, 1);
            QVERIFY(h.activity.lines().at(lines).endsWith(":   Recordings edited"));
        } else {
            // Refused: nothing written, the list not reloaded, the cell as it was.
            QCOMPARE(h.reloads, 0);
            QCOMPARE(h.activity.lines().size(), lines);
            QCOMPARE(h.todo.cell(1, column), cellBefore);
            QCOMPARE(h.titles(), before);
        }
        // The other entries are untouched.
        QCOMPARE(h.storedTitles().mid(1), kTitles.mid(1));
        // Up and Down move the current cell from the edited row.
        const int expectedRow = key == Qt::Key_Down ? 1 : 0;
        QCOMPARE(h.grid.currentIndex().row(), expectedRow);
        QCOMPARE(h.grid.currentIndex().column(), column - 1);
    }

    void leadMovesTheRecordingStart()
    {
        Harness h(path());
        QCOMPARE(h.todo.cell(1, T::RecStart), QStringLiteral("2026-12-05 20:13:00"));
        h.doubleClick(1, T::PreRecord);
        h.type("10");
        QTest::keyClick(h.box(), Qt::Key_Return);
        QCOMPARE(h.todo.cell(1, T::ShortDesc), QStringLiteral("Alpha"));
        QCOMPARE(h.todo.cell(1, T::RecStart), QStringLiteral("2026-12-05 20:05:00"));
        QCOMPARE(h.todo.nextEventTime, *parseDefault("2026-12-05 20:05:00"));
    }

    void escapeAndUnchangedWriteNothing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::newRow("Escape after typing") << "Zulu" << int(Qt::Key_Escape);
        QTest::newRow("Enter, unchanged") << "" << int(Qt::Key_Return);
        QTest::newRow("leaving, unchanged") << "" << int(Qt::Key_Tab);
    }
    void escapeAndUnchangedWriteNothing()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        Harness h(path());
        // A title with blanks around it opens without them, caret at the start, over the cell.
        h.fixture.run("UPDATE RECORD SET SHORTDESC = '  Bravo  ' WHERE rowid = 2");
        h.load();
        h.doubleClick(2, T::ShortDesc);
        QCOMPARE(h.box()->text(), QStringLiteral("Bravo"));
        QCOMPARE(h.box()->cursorPosition(), 0);
        QCOMPARE(h.box()->geometry(), h.grid.visualRect(h.todo.index(1, T::ShortDesc - 1)));
        if (!typed.isEmpty())
            h.type(typed);
        if (key == Qt::Key_Tab)
            h.click(4, T::Num); // another cell
        else
            QTest::keyClick(h.box(), Qt::Key(key));
        QVERIFY(!h.box()->isVisible());
        QCOMPARE(h.reloads, 0);
        QCOMPARE(h.prompter.shown.size(), 0);
        QCOMPARE(h.stored(2, "SHORTDESC"), QVariant("  Bravo  "));
        QCOMPARE(h.todo.cell(2, T::ShortDesc), QStringLiteral("  Bravo  "));
    }

    void leavingTheCellCommits()
    {
        Harness h(path());
        h.doubleClick(2, T::ShortDesc);
        h.type("Bravissimo");
        h.click(4, T::Num);
        QVERIFY(!h.box()->isVisible());
        QCOMPARE(h.stored(2, "SHORTDESC"), QVariant("Bravissimo"));
        QCOMPARE(h.grid.currentIndex().row(), 3); // the click wins
    }

    void noEditBox_data()
    {
        QTest::addColumn<int>("viewerState");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("gesture"); // 0 double-click, else the key
        QTest::newRow("viewer recording") << 1 << int(T::ShortDesc) << 0;
        QTest::newRow("viewer of the user, F2") << 2 << int(T::ShortDesc) << int(Qt::Key_F2);
        QTest::newRow("viewer just started") << 3 << int(T::PreRecord) << int(Qt::Key_Return);
        QTest::newRow("Num") << 0 << int(T::Num) << 0;
        QTest::newRow("Channel") << 0 << int(T::Channel) << int(Qt::Key_F2);
        QTest::newRow("LONGDESC") << 0 << int(T::LongDesc) << int(Qt::Key_Return);
        QTest::newRow("editable, F2") << 0 << int(T::EndTime) << int(Qt::Key_F2);
        QTest::newRow("editable, Enter") << 0 << int(T::StartTime) << int(Qt::Key_Return);
    }
    void noEditBox()
    {
        QFETCH(int, viewerState);
        QFETCH(int, column);
        QFETCH(int, gesture);
        Harness h(path());
        if (viewerState == 3)
            h.state.orbivuTaskId = 4711; // the tick has not seen it yet
        else
            h.state.orbivuState = viewerState;
        h.click(1, column);
        if (gesture)
            QTest::keyClick(&h.grid, Qt::Key(gesture));
        else
            QTest::mouseDClick(h.grid.windowHandle(), Qt::LeftButton, {}, h.inWindow(1, column));
        const bool editable = viewerState == 0 && TodoEdit::isEditableHeader(h.todo.header(column));
        QCOMPARE(h.box()->isVisible(), editable);
    }

    // The scheduler starts Alpha and removes its row while the box is open: a box on that row
    // goes without writing; a box below follows its entry and commits to it.
    void scheduledStartWhileTheBoxIsOpen_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("on the started row") << 1 << kTitles.mid(1);
        QTest::newRow("below it") << 2 << QStringList{"Bravo renamed", "Charlie", "Delta", "Echo"};
    }
    void scheduledStartWhileTheBoxIsOpen()
    {
        QFETCH(int, row);
        QFETCH(QStringList, stored);
        Harness h(path());
        h.doubleClick(row, T::ShortDesc);
        h.type(kTitles.at(row - 1) + " renamed");
        QVERIFY(
            h.db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "Alpha", "about Alpha"));
        h.todo.removeRow(1);
        QCOMPARE(h.box()->isVisible(), row > 1);
        if (row > 1) {
            QCOMPARE(h.box()->geometry(),
                     h.grid.visualRect(h.todo.index(row - 2, T::ShortDesc - 1)));
            QTest::keyClick(h.box(), Qt::Key_Return);
        }
        QCOMPARE(h.storedTitles(), stored);
        QCOMPARE(h.titles(), stored);
        QCOMPARE(h.prompter.shown.size(), 0);
    }

    void editTellsEntriesWithTheSameTimesApart()
    {
        Harness h(path());
        h.fixture.record(2, "2026.12.05 20:15", "2026.12.05 21:00", "Alpha Two", 2, 2, "");
        h.load();
        QCOMPARE(h.titles().mid(0, 2), (QStringList{"Alpha", "Alpha Two"}));
        h.doubleClick(2, T::PostRecord);
        h.type("7");
        QTest::keyClick(h.box(), Qt::Key_Return);
        QCOMPARE(h.stored(1, "POSTRECORD"), QVariant(2));
        QCOMPARE(h.stored(6, "POSTRECORD"), QVariant(7));
    }

    void recordingStartedWhileOpenRefusesTheChange()
    {
        Harness h(path());
        h.doubleClick(3, T::ShortDesc);
        h.type("Charlie renamed");
        h.state.orbivuTaskId = 4711;
        h.state.orbivuState = 1;
        QTest::keyClick(h.box(), Qt::Key_Return);
        QCOMPARE(h.storedTitles(), kTitles);
        QCOMPARE(h.prompter.shown.size(), 1);
        QVERIFY(h.prompter.texts().first().contains("not saved"));
        QCOMPARE(h.reloads, 0);
    }

    void entryGoneOrDatabaseLocked_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QString>("message");
        QTest::newRow("deleted by the viewer") << false << "ERROR Record not found";
        QTest::newRow("locked by the viewer") << true
                                              << "ERROR writting to database\n\nthe "
                                                 "database file is locked";
    }
    void entryGoneOrDatabaseLocked()
    {
        QFETCH(bool, locked);
        QFETCH(QString, message);
        Harness h(path());
        h.doubleClick(2, T::ShortDesc);
        h.type("Bravo renamed");
        if (locked)
            h.fixture.run("BEGIN EXCLUSIVE");
        else
            h.fixture.run("DELETE FROM RECORD WHERE rowid = 2");
        QTest::keyClick(h.box(), Qt::Key_Return);
        if (locked)
            h.fixture.run("COMMIT");
        QVERIFY(!h.prompter.shown.isEmpty());
        QVERIFY2(h.prompter.texts().first().startsWith(message),
                 qPrintable(h.prompter.texts().first()));
        QVERIFY(!h.activity.lines().last().endsWith("Recordings edited"));
        QCOMPARE(h.reloads, 1);
        // The list shows what the database holds (a failed reload keeps the last list).
        QCOMPARE(h.titles(), locked ? kTitles : (QStringList{"Alpha", "Charlie", "Delta", "Echo"}));
        QCOMPARE(h.storedTitles(), h.titles());
    }

    // --- Deleting a selection -------------------------------------------------------------

    void deleteRange_data()
    {
        QTest::addColumn<QString>("select"); // "m": click + Shift+click, "k": Shift+Down
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("prepare"); // v: Charlie gone, d: Bravo twice, u: viewer of user
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("message");
        const QStringList ends{"Alpha", "Echo"};
        QTest::newRow("rows 2 to 4, mouse") << "m" << int(Prompter::Answer::Ok) << "" << ends << "";
        QTest::newRow("rows 2 to 4, keyboard")
            << "k" << int(Prompter::Answer::Ok) << "" << ends << "";
        QTest::newRow("user's viewer running")
            << "k" << int(Prompter::Answer::Ok) << "u" << ends << "";
        QTest::newRow("cancel") << "m" << int(Prompter::Answer::Cancel) << "" << kTitles << "";
        QTest::newRow("one row vanished")
            << "m" << int(Prompter::Answer::Ok) << "v" << ends
            << "ERROR: 1 recording(s) could not be deleted:\n1 One, 2026-12-05 22:30:00, "
               "\"Charlie\": the entry is no longer in the database";
        QTest::newRow("identical entries, one selected")
            << "d" << int(Prompter::Answer::Ok) << "d"
            << QStringList{"Alpha", "Bravo", "Charlie", "Delta", "Echo"} << "";
    }
    void deleteRange()
    {
        QFETCH(QString, select);
        QFETCH(int, answer);
        QFETCH(QString, prepare);
        QFETCH(QStringList, left);
        QFETCH(QString, message);
        Harness h(path());
        if (prepare == "d") {
            h.fixture.record(2, "2026.12.05 21:30", "2026.12.05 22:00", "Bravo", 2, 2,
                             "about Bravo");
            h.load();
            h.prompter.shown.clear(); // the two overlap
        }
        if (prepare == "u")
            h.state.orbivuState = 2;
        const int loads = h.reloads;
        if (select == "m") {
            h.click(2, T::Channel);
            h.click(4, T::Channel, Qt::ShiftModifier);
        } else if (select == "k") {
            h.click(2, T::Channel);
            QTest::keyClick(&h.grid, Qt::Key_Down, Qt::ShiftModifier);
            QTest::keyClick(&h.grid, Qt::Key_Down, Qt::ShiftModifier);
        } else {
            h.click(3, T::Channel); // the second Bravo
        }
        if (prepare == "v")
            h.fixture.run("DELETE FROM RECORD WHERE rowid = 3");
        h.prompter.answers.enqueue(Prompter::Answer(answer));
        QTest::keyClick(&h.grid, Qt::Key_Delete);

        QCOMPARE(h.prompter.shown.first().text, QStringLiteral("Delete selected recordings ?"));
        QCOMPARE(h.prompter.shown.first().buttons, Prompter::Buttons::OkCancel);
        QCOMPARE(h.prompter.shown.size(), message.isEmpty() ? 1 : 2);
        if (!message.isEmpty())
            QCOMPARE(h.prompter.shown.last().text, message);
        QCOMPARE(h.titles(), left);
        QStringList stored = h.storedTitles(), expected = left;
        stored.sort();
        expected.sort();
        QCOMPARE(stored, expected);
        const bool cancelled = answer == int(Prompter::Answer::Cancel);
        QCOMPARE(h.reloads - loads, cancelled ? 0 : 1);
    }

    void deleteRefusedWhileRecording_data()
    {
        QTest::addColumn<bool>("duringQuestion");
        QTest::newRow("before the question") << false;
        QTest::newRow("started during the question") << true;
    }
    void deleteRefusedWhileRecording()
    {
        QFETCH(bool, duringQuestion);
        Harness h(path());
        h.click(1, T::Num);
        h.click(3, T::Num, Qt::ShiftModifier);
        if (duringQuestion) {
            // The scheduler starts Alpha while the question is open.
            h.prompter.onShow = [&h](const Prompter::Box&) {
                h.prompter.onShow = nullptr;
                h.db.takeFirstRecord("2026.12.05 20:15", "2026.12.05 21:00", "Alpha",
                                     "about Alpha");
                h.todo.removeRow(1);
                h.state.orbivuTaskId = 4711;
            };
        } else {
            h.state.orbivuState = 1;
        }
        QTest::keyClick(&h.grid, Qt::Key_Delete);
        QCOMPARE(h.prompter.texts().last(),
                 QStringLiteral("Orbivu is running! Please close it (Delete is not possible "
                                "otherwise)"));
        QCOMPARE(h.storedTitles(), duringQuestion ? kTitles.mid(1) : kTitles);
    }

    // The scheduler takes a row of the range while the question is open, and its viewer
    // could not be started (no task): the others go, nothing is deleted in its place.
    void rowTakenDuringTheQuestionIsNotReplaced()
    {
        Harness h(path());
        h.click(2, T::Num);
        h.click(3, T::Num, Qt::ShiftModifier);
        h.prompter.onShow = [&h](const Prompter::Box&) {
            h.prompter.onShow = nullptr;
            h.db.takeFirstRecord("2026.12.05 21:30", "2026.12.05 22:00", "Bravo", "about Bravo");
            h.todo.removeRow(2);
        };
        QTest::keyClick(&h.grid, Qt::Key_Delete);
        QCOMPARE(h.storedTitles(), (QStringList{"Alpha", "Delta", "Echo"}));
        QCOMPARE(h.titles(), (QStringList{"Alpha", "Delta", "Echo"}));
        QCOMPARE(h.prompter.shown.size(), 1);
    }

    void deleteOnALockedDatabaseTriesOnce()
    {
        Harness h(path());
        h.click(2, T::Num);
        h.click(4, T::Num, Qt::ShiftModifier);
        h.fixture.run("BEGIN EXCLUSIVE");
        QTest::keyClick(&h.grid, Qt::Key_Delete);
        h.fixture.run("COMMIT");
        QCOMPARE(h.storedTitles(), kTitles);
        QCOMPARE(h.titles(), kTitles);
        const QStringList lines = h.prompter.shown.last().text.split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("ERROR: 3 recording(s) could not be deleted:"));
        QVERIFY2(lines.at(1).contains("\"Bravo\": the database file is locked"),
                 qPrintable(lines.at(1)));
        QVERIFY(lines.at(3).contains("\"Delta\": not tried"));
    }
};

QTEST_MAIN(TestTodoGrid)
#include "tst_todogrid.moc"
