// Committing a new recording into real SQLite files: the checks, the count, the rows of a
// series, and what stays in the file when a row fails. Also the "Add Recording" button.

#include "../todolist/dbfixture.h"
#include "addrecordingcommand.h"
#include "appstate.h"
#include "fakes.h"
#include "recordingcommit.h"
#include "viewerdb.h"

#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using namespace Qt::StringLiterals;
using dorvel::test::DbFixture;
using dorvel::test::FakeClock;
using dorvel::test::FakePrompter;
using Rows = QList<QVariantList>;

Q_DECLARE_METATYPE(dorvel::CommitInput)

namespace {

// Monday 19 October 2026, noon; the clocks go back in the night to Sunday the 25th.
const QDateTime kNow(QDate(2026, 10, 19), QTime(12, 0));

CommitInput input(Repetition r, const QString& startDate, const QString& startTime,
                  const QString& stopDate, const QString& stopTime, const QString& until)
{
    CommitInput in;
    in.repetition = r;
    in.startDate = startDate;
    in.startTime = startTime;
    in.stopDate = stopDate;
    in.stopTime = stopTime;
    in.untilDate = until;
    in.sdesc = u"Film"_s;
    in.preRecord = u"2"_s;
    in.postRecord = u"5"_s;
    in.channelNumber = u"1"_s;
    in.channelName = u"Kanal1"_s;
    return in;
}

} // namespace

class TestRecordingCommit : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
    FakeClock m_clock{kNow};
    FakePrompter m_prompter;
    MessageTable m_msg = MessageTable::forLanguage(u"eng"_s);

    RecordingCommit::Result commit(ViewerDatabase& db, const CommitInput& in)
    {
        RecordingCommit c(db, m_prompter, m_clock, m_msg);
        return c.commit(in);
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(u"Orbivu%1.mdb"_s.arg(++m_n));
        m_prompter = FakePrompter();
    }

    void seriesRows_data()
    {
        QTest::addColumn<int>("repetition");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QString>("cleared");      // weekday indices, Monday = 0
        QTest::addColumn<QStringList>("expected"); // "start - end" per row
        const int once = int(Repetition::Once), daily = int(Repetition::Daily),
                  weekly = int(Repetition::Weekly);
        QTest::newRow("once, until ignored")
            << once << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.10.19"_s << u""_s
            << QStringList{"2026.10.19 20:15 - 2026.10.19 21:00"};
        QStringList week;
        for (int d = 19; d <= 25; ++d)
            week << u"2026.10.%1 20:15 - 2026.10.%1 21:00"_s.arg(d);
        // The 25th lies after the change to winter time: still 20:15.
        QTest::newRow("daily Monday to Sunday, all greyed")
            << daily << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.10.25"_s << u""_s
            << week;
        QTest::newRow("daily without Saturday and Sunday")
            << daily << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.10.25"_s << u"56"_s
            << week.mid(0, 5);
        QTest::newRow("weekly, until +6")
            << weekly << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.10.25"_s
            << u"0123456"_s << week.mid(0, 1);
        const QStringList twoWeeks{"2026.10.19 20:15 - 2026.10.19 21:00",
                                   "2026.10.26 20:15 - 2026.10.26 21:00"};
        QTest::newRow("weekly, until +7")
            << weekly << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.10.26"_s << u""_s
            << twoWeeks;
        QTest::newRow("weekly, until +13")
            << weekly << u"2026.10.19 20:15"_s << u"2026.10.19 21:00"_s << u"2026.11.01"_s << u""_s
            << twoWeeks;
        QTest::newRow("daily across midnight")
            << daily << u"2026.10.19 23:30"_s << u"2026.10.20 00:30"_s << u"2026.10.21"_s << u""_s
            << QStringList{"2026.10.19 23:30 - 2026.10.20 00:30",
                           "2026.10.20 23:30 - 2026.10.21 00:30",
                           "2026.10.21 23:30 - 2026.10.22 00:30"};
        QTest::newRow("weekly across the month end and the clock change")
            << weekly << u"2026.10.24 02:30"_s << u"2026.10.24 03:30"_s << u"2026.11.07"_s << u""_s
            << QStringList{"2026.10.24 02:30 - 2026.10.24 03:30",
                           "2026.10.31 02:30 - 2026.10.31 03:30",
                           "2026.11.07 02:30 - 2026.11.07 03:30"};
    }
    void seriesRows()
    {
        QFETCH(int, repetition);
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, until);
        QFETCH(QString, cleared);
        QFETCH(QStringList, expected);
        DbFixture f(m_path);
        f.channel(1, "Kanal1");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        CommitInput in = input(Repetition(repetition), start.left(10), start.mid(11), stop.left(10),
                               stop.mid(11), until);
        for (const QChar c : cleared)
            in.weekdays[size_t(c.digitValue())] = kWeekdayCleared;
        in.weekdays[3] = cleared.contains(QLatin1Char('3')) ? kWeekdayCleared : kWeekdayTicked;

        const auto r = commit(db, in);
        QCOMPARE(r.outcome, RecordingCommit::Outcome::Finished);
        QCOMPARE(r.written, expected.size());
        if (Repetition(repetition) == Repetition::Once)
            QVERIFY(m_prompter.shown.isEmpty());
        else
            QCOMPARE(m_prompter.texts(),
                     QStringList{u"Add %1 Recording entries"_s.arg(expected.size())});
        QStringList rows;
        for (const QVariantList& row :
             f.rows("SELECT STARTTIME || ' - ' || ENDTIME FROM RECORD ORDER BY rowid"))
            rows << row.at(0).toString();
        QCOMPARE(rows, expected);
    }

    void everyColumnOfARow()
    {
        DbFixture f(m_path);
        // Keys beyond 16 bits are carried unchanged.
        f.run("INSERT INTO CHANNELS VALUES(3, 'Kid''s TV', 40000, 70000, 192)");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        CommitInput in = input(Repetition::Once, "2026.10.19", "20:15", "2026.10.19", "21:00", "");
        in.channelNumber = u"3"_s;
        in.preRecord = u"2.5"_s; // fractions pass the check and are rounded
        // 250 characters with quotes, an apostrophe, a path and one outside the basic plane
        // straddling the 49th character.
        in.sdesc = u"'\"../x"_s + QString(42, QLatin1Char('a')) +
                   QString::fromUtf8("\xF0\x9F\x93\xBA") + QString(200, QLatin1Char('b'));
        QCOMPARE(commit(db, in).outcome, RecordingCommit::Outcome::Finished);
        const Rows rows = f.rows("SELECT SOURCEID, NID, SID, STARTTIME, ENDTIME, CHARID, "
                                 "SHORTDESC, LONGDESC, PRERECORD, POSTRECORD FROM RECORD");
        QCOMPARE(rows.size(), 1);
        const QVariantList& r = rows.first();
        QCOMPARE(r.at(0).toString(), u"192"_s);
        QCOMPARE(r.at(1).toLongLong(), 40000);
        QCOMPARE(r.at(2).toLongLong(), 70000);
        QCOMPARE(r.at(3).toString(), u"2026.10.19 20:15"_s);
        QCOMPARE(r.at(4).toString(), u"2026.10.19 21:00"_s);
        QCOMPARE(r.at(5).toInt(), 0);
        QCOMPARE(r.at(6).toString(), in.sdesc.left(48)); // the pair is not cut in two
        QCOMPARE(r.at(7).toString(), in.sdesc.left(199));
        QCOMPARE(r.at(8).toInt(), 3);
        QCOMPARE(r.at(9).toInt(), 5);
        // The list joins the new row back to its channel.
        const auto loaded = db.loadEntries();
        QVERIFY(loaded && loaded->size() == 1);
        QCOMPARE(loaded->first().channel, u"Kid's TV"_s);
    }

    void descriptionsOfASeries_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("repetition");
        QTest::addColumn<QStringList>("shortDescs");
        QTest::addColumn<QStringList>("longDescs");
        const QString sixty = QString(60, QLatin1Char('x'));
        QTest::newRow("proposal, daily")
            << false << int(Repetition::Daily)
            << QStringList{sixty.left(49), "Das_Erste-2026_10_20-20_15",
                           "Das_Erste-2026_10_21-20_15"}
            << QStringList{sixty, "Daily_Das_Erste-2026_10_20-20_15",
                           "Daily_Das_Erste-2026_10_21-20_15"};
        QTest::newRow("edited, daily")
            << true << int(Repetition::Daily) << QStringList(3, sixty.left(49))
            << QStringList{sixty, "Daily_" + sixty.left(49), "Daily_" + sixty.left(49)};
        QTest::newRow("proposal, weekly")
            << false << int(Repetition::Weekly)
            << QStringList{sixty.left(49), "Das_Erste-2026_10_26-20_15"}
            << QStringList{sixty, "Weekly_Das_Erste-2026_10_26-20_15"};
    }
    void descriptionsOfASeries()
    {
        QFETCH(bool, edited);
        QFETCH(int, repetition);
        QFETCH(QStringList, shortDescs);
        QFETCH(QStringList, longDescs);
        DbFixture f(m_path);
        f.channel(1, "Das Erste");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        CommitInput in = input(Repetition(repetition), "2026.10.19", "20:15", "2026.10.19", "21:00",
                               repetition == int(Repetition::Daily) ? "2026.10.21" : "2026.10.27");
        in.channelName = u"Das Erste"_s;
        in.sdesc = QString(60, QLatin1Char('x'));
        in.sdescEdited = edited;
        QCOMPARE(commit(db, in).outcome, RecordingCommit::Outcome::Finished);
        QStringList shorts, longs;
        for (const QVariantList& r :
             f.rows("SELECT SHORTDESC, LONGDESC FROM RECORD ORDER BY rowid")) {
            shorts << r.at(0).toString();
            longs << r.at(1).toString();
        }
        QCOMPARE(shorts, shortDescs);
        QCOMPARE(longs, longDescs);
    }

    void refusedWritesNothing_data()
    {
        QTest::addColumn<CommitInput>("in");
        QTest::addColumn<QString>("message");
        const CommitInput base =
            input(Repetition::Daily, "2026.10.19", "20:15", "2026.10.19", "21:00", "2026.10.22");
        CommitInput c = base;
        c.stopDate = c.startDate = u"2026.10.19"_s;
        c.stopTime = u"12:00"_s;
        QTest::newRow("stop now") << c << m_msg.MsgStopInPast;
        c = base;
        c.startTime = u"12:00"_s;
        QTest::newRow("start now") << c << m_msg.MsgStartInPast;
        c = base;
        c.weekdays[0] = kWeekdayCleared;
        QTest::newRow("Monday start, Monday cleared") << c << m_msg.MsgWeekdayMismatch;
        c = base;
        c.stopTime = c.startTime;
        QTest::newRow("stop equal to start") << c << m_msg.MsgStopTooSoon;
        c = base;
        c.untilDate = c.startDate;
        QTest::newRow("until on the start date") << c << m_msg.MsgUntilTooSoon;
        c = base;
        c.channelNumber = u"9"_s;
        QTest::newRow("channel gone")
            << c << u"Add 4 Recording entries|"_s + m_msg.MsgChannelNotFound;
        c = base;
        c.startTime = u"24:00"_s;
        QTest::newRow("unreadable time") << c << m_msg.MsgInvalidDateTime;
    }
    void refusedWritesNothing()
    {
        QFETCH(CommitInput, in);
        QFETCH(QString, message);
        DbFixture f(m_path);
        f.channel(1, "Kanal1");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        QCOMPARE(commit(db, in).outcome, RecordingCommit::Outcome::Refused);
        QCOMPARE(m_prompter.texts().join(QLatin1Char('|')), message);
        QCOMPARE(f.rows("SELECT count(*) FROM RECORD"), Rows{{0}});
    }

    void boundariesThatPass()
    {
        DbFixture f(m_path);
        f.channel(1, "Kanal1");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        // One minute long, starting a minute from now.
        CommitInput in = input(Repetition::Once, "2026.10.19", "12:01", "2026.10.19", "12:02", "");
        QCOMPARE(commit(db, in).outcome, RecordingCommit::Outcome::Finished);
        // The confirmation answered with Cancel writes nothing.
        in = input(Repetition::Weekly, "2026.10.19", "20:00", "2026.10.19", "21:00", "2026.10.30");
        m_prompter.answers.enqueue(Prompter::Answer::Cancel);
        QCOMPARE(commit(db, in).outcome, RecordingCommit::Outcome::Refused);
        QCOMPARE(f.rows("SELECT count(*) FROM RECORD"), Rows{{1}});
        // A daily series a good year long: one row per day.
        in = input(Repetition::Daily, "2026.10.19", "20:00", "2026.10.19", "21:00", "2027.11.22");
        const auto r = commit(db, in);
        QCOMPARE(r.written, 400);
        QCOMPARE(f.rows("SELECT count(*), max(STARTTIME) FROM RECORD"),
                 (Rows{{401, "2027.11.22 20:00"}}));
    }

    void failingRow_data()
    {
        QTest::addColumn<QString>("refused"); // STARTTIME the trigger refuses
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("message");
        QTest::newRow("third row")
            << u"2026.10.21 20:15"_s << int(RecordingCommit::Outcome::Finished)
            << QStringList{"2026.10.19 20:15", "2026.10.20 20:15"}
            << u"ERROR adding recording for STARTTIME=2026.10.21 20:15"_s;
        QTest::newRow("first row")
            << u"2026.10.19 20:15"_s << int(RecordingCommit::Outcome::FirstFailed) << QStringList{}
            << u"ERROR adding recording"_s;
    }
    void failingRow()
    {
        QFETCH(QString, refused);
        QFETCH(int, outcome);
        QFETCH(QStringList, kept);
        QFETCH(QString, message);
        DbFixture f(m_path);
        f.channel(1, "Kanal1");
        f.run(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON RECORD WHEN NEW.STARTTIME = "
                             "'%1' BEGIN SELECT RAISE(ABORT, 'refused by the viewer'); END")
                  .arg(refused));
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        const auto r = commit(db, input(Repetition::Daily, "2026.10.19", "20:15", "2026.10.19",
                                        "21:00", "2026.10.25"));
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(r.written, kept.size());
        QStringList rows;
        for (const QVariantList& row : f.rows("SELECT STARTTIME FROM RECORD ORDER BY rowid"))
            rows << row.at(0).toString();
        QCOMPARE(rows, kept);
        QCOMPARE(m_prompter.shown.size(), 2);
        QVERIFY2(m_prompter.shown.last().text.startsWith(message + "\n\n"),
                 qPrintable(m_prompter.shown.last().text));
        QVERIFY(m_prompter.shown.last().text.contains(QLatin1String("refused by the viewer")));
    }

    void lockedOrVanishedDatabaseWritesNothing()
    {
        DbFixture f(m_path);
        f.channel(1, "Kanal1");
        ViewerDatabase db;
        QVERIFY(db.open(m_path));
        const CommitInput in =
            input(Repetition::Daily, "2026.10.19", "20:15", "2026.10.19", "21:00", "2026.10.21");
        // The viewer holds the write lock for longer than the busy timeout.
        f.run("BEGIN EXCLUSIVE");
        auto r = commit(db, in);
        f.run("ROLLBACK");
        QCOMPARE(r.outcome, RecordingCommit::Outcome::FirstFailed);
        QVERIFY(m_prompter.shown.last().text.startsWith("ERROR adding recording\n\n"));
        QVERIFY(m_prompter.shown.last().text.contains(QLatin1String("locked")));
        QCOMPARE(f.rows("SELECT count(*) FROM RECORD"), Rows{{0}});

        QVERIFY(QFile::remove(m_path));
        r = commit(db, in);
        QCOMPARE(r.outcome, RecordingCommit::Outcome::FirstFailed);
        QVERIFY(m_prompter.shown.last().text.contains(QLatin1String("no longer exists")));
    }

    void buttonOpensTheFormUnlessTheSchedulerRecords_data()
    {
        QTest::addColumn<int>("orbivuState");
        QTest::addColumn<bool>("added");
        QTest::addColumn<int>("forms");
        QTest::addColumn<int>("reloads");
        QTest::newRow("scheduler's viewer records") << 1 << true << 0 << 0;
        QTest::newRow("user's viewer runs, rows added") << 2 << true << 1 << 1;
        QTest::newRow("no viewer, cancelled") << 0 << false << 1 << 0;
    }
    void buttonOpensTheFormUnlessTheSchedulerRecords()
    {
        QFETCH(int, orbivuState);
        QFETCH(bool, added);
        QFETCH(int, forms);
        QFETCH(int, reloads);
        AppState state;
        state.orbivuState = orbivuState;
        test::FakeView view;
        view.captionText = u"Dorvel Ver 0.36 - recording"_s;
        int shown = 0, reloaded = 0;
        AddRecordingCommand command(
            state, m_prompter, view,
            [&] {
                ++shown;
                return added;
            },
            [&] { ++reloaded; });
        command.run();
        QCOMPARE(shown, forms);
        QCOMPARE(reloaded, reloads);
        QCOMPARE(m_prompter.texts(),
                 orbivuState == 1 ? QStringList{view.captionText} : QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestRecordingCommit)
#include "tst_recordingcommit.moc"
