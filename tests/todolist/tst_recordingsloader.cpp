// GetRecordings over real SQLite files, with the fakes of the platform seams.

#include "loaderrig.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

using namespace dorvel;
using namespace dorvel::test;
using Colour = TodoList::RowColour;
using T = TodoList;

namespace {

// Every cell and colour of the list.
QStringList snapshot(const TodoList& todo)
{
    QStringList out;
    for (int r = 1; r < todo.rows(); ++r)
        for (int c = 0; c <= T::ColumnCount; ++c)
            out << (c < T::ColumnCount ? todo.cell(r, c) : QString::number(int(todo.rowColour(r))));
    return out;
}

struct Harness : LoaderRig {
    explicit Harness(const QString& path) { QVERIFY(db.open(path)); }
    void load() { loader.getRecordings(); }
    QString cell(int row, int column) const { return todo.cell(row, column); }
};

struct Load {
    QStringList entries; // "title|start|end|pre|post": hh:mm is on 2026-12-05, - is NULL
    QTime now;
    QString options;    // i: ignore overlaps, p: take over a running entry
    QString colours;    // sorted rows: . default, r timed out, y overlap; . and y are counted
    QString minutes;    // RECMINUTES of the sorted rows, - when empty
    QString taken = {}; // the entry taken over
    QString line = {};  // an activity line that must be there
};

// A sqlite3 process locking the file for some seconds, or (0) until it is destroyed.
struct Locker {
    Locker(const QString& path, int seconds)
    {
        m_proc.start(QStringLiteral("sqlite3"), {path});
        m_proc.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        if (seconds > 0)
            m_proc.write(".shell sleep " + QByteArray::number(seconds) + "\nCOMMIT;\n.quit\n");
        while (!m_locked && m_proc.waitForReadyRead(5000))
            m_locked = m_proc.readAllStandardOutput().contains("locked");
    }
    // End of input ends the transaction and the program.
    ~Locker()
    {
        m_proc.closeWriteChannel();
        m_proc.waitForFinished(10000);
    }
    QProcess m_proc;
    bool m_locked = false;
};

} // namespace

class TestRecordingsLoader : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;

private Q_SLOTS:
    void init() { m_path = m_dir.filePath(QStringLiteral("Orbivu%1.mdb").arg(++m_n)); }

    // One load: timed-out and overlap marking, RECMINUTES, the take-over of a running entry,
    // entries the rules cannot compute, awkward texts.
    void load_data()
    {
        QTest::addColumn<Load>("c");
        const auto row = [](const char* name, const QStringList& entries, QTime now,
                            const QString& options, const QString& colours, const QString& minutes,
                            const QString& taken = {}, const QString& line = {}) {
            QTest::newRow(name) << Load{entries, now, options, colours, minutes, taken, line};
        };
        const QTime t19(19, 0), t2030(20, 30);
        row("empty", {}, t19, "", "", "");
        // 20:15 with 2 lead minutes records from 20:13, which needs a minute's notice.
        row("20:12:00", {"News|20:15|21:00|2|0"}, QTime(20, 12, 0), "", ".", "47");
        row("20:12:01", {"News|20:15|21:00|2|0"}, QTime(20, 12, 1), "", "r", "47", "",
            "Timed out:  One 2026-12-05 20:15:00 News");
        row("minute on", {"A|20:00|21:00|0|5", "B|21:06|22:00|0|0"}, t19, "", "..", "65 54");
        row("lead minute", {"A|20:00|21:00|0|5", "B|21:06|22:00|1|0"}, t19, "", ".y", "65 55");
        row("neighbours only", {"A|20:00|23:00|0|0", "B|20:30|20:45|0|0", "C|22:00|22:30|0|0"}, t19,
            "", ".y.", "180 15 30");
        row("overlap ignored", {"A|20:00|21:00|0|5", "B|21:05|22:00|0|0"}, t19, "i", ".y", "65 55");
        row("whole days dropped",
            {"A|23:00|2026.12.06 01:00|0|0", "B|2026.12.07 20:00|2026.12.08 20:00|0|0",
             "C|2026.12.09 20:00|2026.12.10 21:00|0|0"},
            t19, "", "...", "120 0 60");
        // Minutes across clock changes are the simulated year's to check.
        row("take-over", {"R|19:00|22:00|0|5", "L|23:00|23:30|0|0"}, t2030, "p", "r.", "95 30",
            "R");
        row("two running", {"R|19:00|22:00|0|5", "T|20:00|21:00|0|0"}, t2030, "p", "rr", "185 60");
        row("beside an ended one", {"R|19:00|22:00|0|0", "E|19:00|19:30|0|0"}, t2030, "p", "rr",
            "30 90", "R");
        row("not over an overlap", {"R|19:00|22:00|0|5", "A|21:00|21:30|0|0", "B|21:10|21:40|0|0"},
            t2030, "p", "ryy", "185 30 30");
        // Listed as stored, red, never scheduled, one line naming it; the others load.
        const QStringList around{"Good|19:30|19:45|0|0", "Later|21:15|22:00|0|0"};
        const auto bad = [&](const char* name, const QString& entry, const QString& line) {
            row(name, around + QStringList{entry}, t19, "", "r..", "- 15 45", "", line);
        };
        bad("end at start", "Bad|20:15|20:15|0|0",
            "End not after start:  One 2026.12.05 20:15 Bad");
        bad("trail before lead", "Bad|20:15|20:30|0|-20",
            "End not after start:  One 2026.12.05 20:15 Bad");
        bad("31 February", "Bad|2026.02.31 20:15|21:00|0|0",
            "Invalid time:  One 2026.02.31 20:15 Bad");
        bad("NULL start", "Bad|-|21:00|0|0", "Invalid time:  One  Bad");
        bad("lead not a number", "Bad|20:15|21:00|ten|0",
            "Invalid minutes:  One 2026.12.05 20:15 Bad");
        // NULL minutes count as 0.
        row("awkward texts",
            {"Tom's \"Big\" 100% \t Show|20:15|21:00|2|2", QString(10000, 't') + "|21:15|22:00|0|0",
             QString::fromUtf8("Caf\xC3\xA9 \xF0\x9F\x8E\xAC|22:15|23:00|-|-")},
            t19, "", "...", "49 45 45");
    }
    void load()
    {
        QFETCH(Load, c);
        DbFixture f(m_path);
        f.channel(1, " One ");
        // The same name again, and an entry whose keys match neither channel: the join needs
        // all three keys, and the entry is not listed but stays in the database.
        f.run("INSERT INTO CHANNELS VALUES(2, ' One ', 1, 1, 2)");
        f.run("INSERT INTO RECORD VALUES(1, 2, 1, '2026.12.05 20:00', '2026.12.05 21:00', 'x', '', "
              "0, 0, 0)");
        const auto when = [](const QString& t) {
            return t == "-" ? QVariant() : t.size() == 5 ? "2026.12.05 " + t : t;
        };
        for (auto it = c.entries.crbegin(); it != c.entries.crend(); ++it) { // so the sort has work
            const QStringList p = it->split('|');
            f.record(1, when(p[1]), when(p[2]), p[0], when(p[3]), when(p[4]));
        }
        Harness h(m_path);
        h.clock.set(QDateTime(QDate(2026, 12, 5), c.now));
        h.state.settings.ignoreOverlap = c.options.contains('i');
        h.state.settings.startPendingRecord = c.options.contains('p');
        h.state.pendingPowerAction = QStringLiteral("Shutdown");
        h.todo.savedWidths = {500, 1100, 1200, 1300, 2222, 1500, 1600, 1700};
        h.todo.setColumnWidth(5, 999); // before the first build: what start-up read wins
        h.load();
        QCOMPARE(h.todo.columnWidth(5), 2222);
        QString colours;
        QStringList minutes;
        int next = 0, taken = 0;
        for (int r = 1; r < h.todo.rows(); ++r) {
            const Colour colour = h.todo.rowColour(r);
            colours += colour == Colour::Default ? '.' : colour == Colour::TimedOut ? 'r' : 'y';
            minutes << h.cell(r, T::RecMinutes).leftJustified(1, '-');
            if (!next && colour != Colour::TimedOut)
                next = r;
            if (h.cell(r, T::ShortDesc) == c.taken)
                taken = r;
        }
        QCOMPARE(colours, c.colours);
        QCOMPARE(minutes.join(' '), c.minutes);
        const int count = c.colours.count('.') + c.colours.count('y') + int(taken > 0);
        QCOMPARE(h.todo.recordingCount, count);
        const bool tickOn = !c.colours.contains('y') || c.options.contains('i');
        QCOMPARE(h.timer.active, tickOn);
        QCOMPARE(
            h.prompter.texts(),
            tickOn ? QStringList()
                   : QStringList{"There is at least one overlapping record! Please check/delete"});
        QCOMPARE(h.view.clockRed, !tickOn);
        QVERIFY(!h.view.waitCursor && h.state.pendingPowerAction.isEmpty());
        const QString nowText = formatDefault(h.clock.now());
        const QStringList lines = h.activity.lines();
        QCOMPARE(lines.first(), nowText + ":   Get Recordings");
        QCOMPARE(lines.filter(":  One ").size(), c.colours.count('r'));
        QVERIFY2(c.line.isEmpty() || lines.contains(c.line), qPrintable(lines.join('\n')));
        // One count line, last: the take-over replaces it.
        QCOMPARE(lines.filter(" Recordings added to ToDo list").size(), 1);
        QCOMPARE(lines.last(),
                 nowText + ":   " + QString::number(count) + " Recordings added to ToDo list");
        if (taken) {
            next = taken;
            QCOMPARE(h.todo.nextEventTime, h.clock.nowSerial());
            QCOMPARE(h.cell(taken, T::StartTime), nowText);
            QCOMPARE(h.cell(taken, T::RecStart), nowText);
        } else {
            QCOMPARE(h.view.nextEventText, next ? h.cell(next, T::RecStart) : QString());
            if (!next)
                QCOMPARE(h.todo.nextEventTime, TodoList::kNoEventLoaded);
        }
        QCOMPARE(h.todo.nextEventRow, next);
        // Every listed entry, even one that cannot be computed, is found again by its row.
        for (int r = 1; r < h.todo.rows(); ++r)
            QVERIFY(h.db.takeFirstRecord(h.cell(r, T::DbStartTime), h.cell(r, T::DbEndTime),
                                         h.cell(r, T::ShortDesc), h.cell(r, T::LongDesc)));
        QCOMPARE(f.count(), 1);
        // While the scheduler's viewer records, a reload is refused and changes nothing.
        const QStringList shown = snapshot(h.todo);
        h.state.orbivuState = 1;
        h.load();
        QCOMPARE(h.prompter.texts().last(), "Orbivu is recording! Reload Recordings not possible");
        QCOMPARE(h.activity.lines(), lines);
        QCOMPARE(snapshot(h.todo), shown);
        QCOMPARE(h.timer.active, tickOn);
        h.state.orbivuState = 2; // a viewer the user started does not stop a reload
        h.load();
        QCOMPARE(h.todo.rows(), 1);
    }

    void upgrade_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("box");  // the box after the question, or the only box
        QTest::addColumn<int>("integers"); // integer columns of RECORD afterwards
        QTest::newRow("8, yes") << "8" << true
                                << QString("OK Database actualized, Please Restart Dorvel!") << 6;
        QTest::newRow("8, no") << "8" << false << QString() << 4;
        // An old table that already has PRERECORD: the first column fails, the second is added.
        QTest::newRow("8, update fails")
            << "8 with PRERECORD" << true << QString("Database update failed!") << 5;
        // A load that cannot find its columns is a failed load, not a reason to forget the file.
        QTest::newRow("9, no question") << "9" << true << QString("kept") << 5;
    }
    void upgrade()
    {
        QFETCH(QString, shape);
        QFETCH(bool, yes);
        QFETCH(QString, box);
        DbFixture f(m_path, 8);
        if (shape == "8 with PRERECORD")
            f.run("ALTER TABLE RECORD DROP COLUMN CHARID");
        if (shape != "8")
            f.run("ALTER TABLE RECORD ADD COLUMN PRERECORD INTEGER");
        Harness h(m_path);
        h.store.setOwn("OrbivuDBPath", m_path);
        h.prompter.answers.enqueue(yes ? Prompter::Answer::Yes : Prompter::Answer::No);
        h.load();
        const bool asked = shape != "9";
        QCOMPARE(h.prompter.texts().contains(
                     "Orbivu database versions older than Ver -0.071 are no longer supported!\r\n"
                     "Try to update?"),
                 asked);
        QCOMPARE(h.prompter.shown.first().buttons,
                 asked ? Prompter::Buttons::YesNo : Prompter::Buttons::Ok);
        QCOMPARE(h.prompter.shown.size(), int(asked) + int(!box.isEmpty()));
        QVERIFY2(h.prompter.texts().last().contains(box), qPrintable(h.prompter.texts().last()));
        QCOMPARE(h.ended, int(asked));
        QCOMPARE(h.store.contains("Dorvel", "Startup", "OrbivuDBPath"),
                 yes && !box.contains("failed"));
        QTEST(f.rows("SELECT count(*) FROM pragma_table_info('RECORD') WHERE type = 'INTEGER'")
                  .value(0)
                  .value(0)
                  .toInt(),
              "integers");
        QVERIFY(!h.timer.active && h.todo.rows() == 1);
    }

    void lockedOrDamagedFile_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("words");
        QTest::newRow("locked for 3 s") << "lock 3" << QString(); // the load waits and succeeds
        QTest::newRow("stays locked") << "lock 0" << QStringLiteral("locked");
        // Tried again by itself, without a box, once the lock is gone.
        QTest::newRow("stays locked, retried") << "lock 0 retry" << QString();
        QTest::newRow("vanished") << "remove" << QStringLiteral("no longer exists");
        QTest::newRow("damaged") << "garbage" << QStringLiteral("damaged");
    }
    void lockedOrDamagedFile()
    {
        QFETCH(QString, damage);
        QFETCH(QString, words);
        DbFixture f(m_path);
        f.channel(1, "One");
        f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", "A", 2);
        f.record(1, "2026.12.05 18:15", "2026.12.05 18:30", "Old");
        Harness h(m_path);
        h.load();
        const QStringList before = snapshot(h.todo);
        const double nextBefore = h.todo.nextEventTime;
        std::optional<Locker> lock;
        QFile file(m_path);
        QList<std::function<void()>> retries;
        if (damage.endsWith("retry"))
            h.loader.setRetry([&](int, std::function<void()> f) { retries << f; });
        if (damage.startsWith("lock"))
            QVERIFY(lock.emplace(m_path, damage.at(5).digitValue()).m_locked);
        else if (damage == "remove")
            QVERIFY(file.remove());
        else
            QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) &&
                    file.write(QByteArray(4096, 'x')) > 0);
        h.load();
        QCOMPARE(h.prompter.shown.size(), int(!words.isEmpty()));
        if (damage.endsWith("retry")) {
            QVERIFY(!h.timer.active && h.view.clockRed);
            QVERIFY(h.activity.lines().last().contains("locked by another program"));
            h.load(); // a click meanwhile: still one retry waiting
            QCOMPARE(retries.size(), 1);
            lock.reset();
            retries.takeFirst()();
            QVERIFY(h.timer.active && !h.view.clockRed && retries.isEmpty());
            QCOMPARE(snapshot(h.todo), before);
            return;
        }
        QCOMPARE(h.timer.active, words.isEmpty());
        if (words.isEmpty())
            return;
        const QString text = h.prompter.shown.first().text;
        QVERIFY2(text.contains(words) && text.contains("kept"), qPrintable(text));
        QCOMPARE(snapshot(h.todo), before);
        QCOMPARE(h.todo.nextEventTime, nextBefore);
        QCOMPARE(std::tuple(h.todo.nextEventRow, h.todo.recordingCount), std::tuple(2, 1));
        QVERIFY(h.view.clockRed && !h.view.waitCursor && h.ended == 0);
        QCOMPARE(h.view.clockText, QStringLiteral("Not started"));
        if (!damage.startsWith("lock"))
            return;
        lock.reset(); // once the file can be read again, the tick is switched back on
        h.load();
        QVERIFY(h.timer.active && !h.view.clockRed);
    }

    // A backup restored by copy and rename: the next load reads the new file, and the entry
    // loaded from it is deleted from it, not from the old, deleted copy.
    void replacedFile()
    {
        const QString copy = m_path + QStringLiteral(".restored");
        for (const QString& path : {m_path, copy}) {
            DbFixture f(path);
            f.channel(1, "One");
            f.record(1, "2026.12.05 20:15", "2026.12.05 21:00", path == copy ? "Restored" : "Old");
        }
        Harness h(m_path);
        h.load();
        QCOMPARE(h.cell(1, T::ShortDesc), QStringLiteral("Old"));
        QVERIFY(::rename(QFile::encodeName(copy).constData(),
                         QFile::encodeName(m_path).constData()) == 0);
        h.load();
        QCOMPARE(h.todo.rows(), 2);
        QCOMPARE(h.cell(1, T::ShortDesc), QStringLiteral("Restored"));
        QVERIFY(h.db.takeRecord({h.todo.rowId(1), h.todo.fingerprint(1), h.cell(1, T::DbStartTime),
                                 h.cell(1, T::DbEndTime), h.cell(1, T::ShortDesc),
                                 h.cell(1, T::LongDesc)}));
        h.load();
        QCOMPARE(h.todo.rows(), 1);
    }

    // Two entries with the same texts on two channels: the delete of a list row removes the
    // row it was loaded from, also after an edit of the list meanwhile.
    void takeFindsTheLoadedRow_data()
    {
        QTest::addColumn<QVariant>("title");
        QTest::addColumn<QVariant>("longDesc");
        QTest::newRow("plain") << QVariant("News") << QVariant("");
        QTest::newRow("non-ASCII") << QVariant("Wetter f\u00fcr morgen") << QVariant("\u00c4");
        QTest::newRow("NULL description") << QVariant("News") << QVariant();
        QTest::newRow("number as title") << QVariant(42) << QVariant(1.5);
    }
    void takeFindsTheLoadedRow()
    {
        QFETCH(QVariant, title);
        QFETCH(QVariant, longDesc);
        DbFixture f(m_path);
        for (int channel : {1, 2}) {
            f.channel(channel, QStringLiteral("C%1").arg(channel));
            f.record(channel, "2026.12.05 20:15", "2026.12.05 21:00", title, 0, 0, longDesc);
        }
        Harness h(m_path);
        h.load();
        QCOMPARE(h.todo.rows(), 3);
        for (int row : {2, 1}) {
            const QString channel = h.cell(row, T::Channel);
            const ViewerDatabase::RecordKey key{
                h.todo.rowId(row),         h.todo.fingerprint(row),   h.cell(row, T::DbStartTime),
                h.cell(row, T::DbEndTime), h.cell(row, T::ShortDesc), h.cell(row, T::LongDesc)};
            h.todo.setCell(row, T::ShortDesc, QStringLiteral("Changed"));
            QCOMPARE(h.todo.fingerprint(row), key.fingerprint); // still names the loaded row
            const auto taken = h.db.takeRecord(key);
            QVERIFY2(taken, qPrintable(h.db.lastError()));
            QCOMPARE(taken->value(QStringLiteral("NID")).toString(), channel.mid(1));
        }
        QCOMPARE(f.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRecordingsLoader)
#include "tst_recordingsloader.moc"
