// Committing a new recording into real SQLite files, and the "Add Recording" button.

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
using Outcome = RecordingCommit::Outcome;

Q_DECLARE_METATYPE(dorvel::CommitInput)

namespace {

// Times as "yyyy.MM.dd hh:mm"; a film on channel 1 with 2 and 5 minutes around it.
CommitInput input(Repetition r, const QString& start, const QString& stop, const QString& until)
{
    CommitInput in;
    in.repetition = r;
    in.startDate = start.left(10);
    in.startTime = start.mid(11);
    in.stopDate = stop.left(10);
    in.stopTime = stop.mid(11);
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
    // Monday 19 October 2026, noon; the clocks go back in the night to Sunday the 25th.
    test::FakeClock m_clock{QDateTime(QDate(2026, 10, 19), QTime(12, 0))};
    test::FakePrompter m_prompter;
    MessageTable m_msg = MessageTable::forLanguage(u"eng"_s);
    std::unique_ptr<test::DbFixture> m_f;
    std::unique_ptr<ViewerDatabase> m_db;

    RecordingCommit::Result commit(const CommitInput& in)
    {
        return RecordingCommit(*m_db, m_prompter, m_clock, m_msg).commit(in);
    }
    QStringList rows(const QString& columns)
    {
        return m_f->texts("SELECT " + columns + " FROM RECORD ORDER BY rowid");
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(u"Orbivu%1.mdb"_s.arg(++m_n));
        m_f = std::make_unique<test::DbFixture>(m_path);
        m_f->channel(1, "Kanal1");
        m_db = std::make_unique<ViewerDatabase>();
        QVERIFY(m_db->open(m_path));
        m_prompter = test::FakePrompter();
    }
    void cleanup()
    {
        m_db.reset();
        m_f.reset();
    }

    void seriesRows_data()
    {
        QTest::addColumn<int>("repetition");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("until");
        QTest::addColumn<QString>("cleared");      // weekday indices, Monday = 0
        QTest::addColumn<QStringList>("expected"); // "start|end" per row
        const QString s = u"2026.10.19 20:15"_s, e = u"2026.10.19 21:00"_s;
        QStringList week;
        for (int d = 19; d <= 26; ++d)
            week << u"2026.10.%1 20:15|2026.10.%1 21:00"_s.arg(d);
        const auto row = [](const char* name, Repetition r, const QString& start,
                            const QString& stop, const char* until, const char* cleared,
                            const QStringList& expected) {
            QTest::newRow(name) << int(r) << start << stop << until << cleared << expected;
        };
        const Repetition daily = Repetition::Daily, weekly = Repetition::Weekly;
        row("once, until ignored", Repetition::Once, s, e, "2026.10.19", "", week.mid(0, 1));
        // The 25th lies after the change to winter time: still 20:15.
        row("daily, all greyed", daily, s, e, "2026.10.25", "", week.mid(0, 7));
        row("daily without weekend", daily, s, e, "2026.10.25", "56", week.mid(0, 5));
        row("weekly, until +6", weekly, s, e, "2026.10.25", "0123456", week.mid(0, 1));
        row("weekly, until +7", weekly, s, e, "2026.10.26", "", {week[0], week[7]});
        row("weekly, until +13", weekly, s, e, "2026.11.01", "", {week[0], week[7]});
        row("daily across midnight", daily, "2026.10.19 23:30", "2026.10.20 00:30", "2026.10.21",
            "",
            {"2026.10.19 23:30|2026.10.20 00:30", "2026.10.20 23:30|2026.10.21 00:30",
             "2026.10.21 23:30|2026.10.22 00:30"});
        row("weekly across the month end and the clock change", weekly, "2026.10.24 02:30",
            "2026.10.24 03:30", "2026.11.07", "",
            {"2026.10.24 02:30|2026.10.24 03:30", "2026.10.31 02:30|2026.10.31 03:30",
             "2026.11.07 02:30|2026.11.07 03:30"});
    }
    void seriesRows()
    {
        QFETCH(int, repetition);
        QFETCH(QString, start);
        QFETCH(QString, stop);
        QFETCH(QString, until);
        QFETCH(QString, cleared);
        QFETCH(QStringList, expected);
        CommitInput in = input(Repetition(repetition), start, stop, until);
        for (const QChar c : cleared)
            in.weekdays[size_t(c.digitValue())] = kWeekdayCleared;
        in.weekdays[3] = cleared.contains('3') ? kWeekdayCleared : kWeekdayTicked;
        const auto r = commit(in);
        QCOMPARE(r.outcome, Outcome::Finished);
        QCOMPARE(r.written, expected.size());
        QCOMPARE(m_prompter.texts(),
                 repetition == int(Repetition::Once)
                     ? QStringList{}
                     : QStringList{u"Add %1 Recording entries"_s.arg(expected.size())});
        QCOMPARE(rows("STARTTIME, ENDTIME"), expected);
    }

    void everyColumnOfARow()
    {
        // Keys beyond 16 bits are carried unchanged.
        m_f->run("INSERT INTO CHANNELS VALUES(3, 'Kid''s TV', 40000, 70000, 192)");
        CommitInput in = input(Repetition::Once, "2026.10.19 20:15", "2026.10.19 21:00", "");
        in.channelNumber = u"3"_s;
        in.preRecord = u"2.5"_s; // fractions pass the check and are rounded
        // A character outside the basic plane straddles the 49th character.
        in.sdesc = u"'\"../x"_s + QString(42, 'a') + QString::fromUtf8("\xF0\x9F\x93\xBA") +
                   QString(200, 'b');
        QCOMPARE(commit(in).outcome, Outcome::Finished);
        QCOMPARE(rows("SOURCEID, NID, SID, STARTTIME, ENDTIME, CHARID, PRERECORD, POSTRECORD"),
                 QStringList{"192|40000|70000|2026.10.19 20:15|2026.10.19 21:00|0|3|5"});
        QCOMPARE(rows("SHORTDESC, LONGDESC"),
                 QStringList{in.sdesc.left(48) + '|' + in.sdesc.left(199)});
        const auto loaded = m_db->loadEntries(); // joined back to its channel
        QVERIFY(loaded && loaded->size() == 1);
        QCOMPARE(loaded->first().channel, u"Kid's TV"_s);
    }

    void descriptionsOfASeries_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<int>("repetition");
        QTest::addColumn<QStringList>("expected"); // SHORTDESC|LONGDESC per row
        const QString first = QString(49, 'x') + '|' + QString(60, 'x'), x49(49, 'x');
        QTest::newRow("proposal, daily")
            << false << int(Repetition::Daily)
            << QStringList{first, "Das_Erste-2026_10_20-20_15|Daily_Das_Erste-2026_10_20-20_15",
                           "Das_Erste-2026_10_21-20_15|Daily_Das_Erste-2026_10_21-20_15"};
        QTest::newRow("edited, daily")
            << true << int(Repetition::Daily)
            << QStringList{first, x49 + "|Daily_" + x49, x49 + "|Daily_" + x49};
        QTest::newRow("proposal, weekly")
            << false << int(Repetition::Weekly)
            << QStringList{first, "Das_Erste-2026_10_26-20_15|Weekly_Das_Erste-2026_10_26-20_15"};
    }
    void descriptionsOfASeries()
    {
        QFETCH(bool, edited);
        QFETCH(int, repetition);
        QFETCH(QStringList, expected);
        m_f->run("UPDATE CHANNELS SET NAME = 'Das Erste'");
        CommitInput in = input(Repetition(repetition), "2026.10.19 20:15", "2026.10.19 21:00",
                               repetition == int(Repetition::Daily) ? "2026.10.21" : "2026.10.27");
        in.channelName = u"Das Erste"_s;
        in.sdesc = QString(60, 'x');
        in.sdescEdited = edited;
        QCOMPARE(commit(in).outcome, Outcome::Finished);
        QCOMPARE(rows("SHORTDESC, LONGDESC"), expected);
    }

    // The checks before anything is written, and the boundaries they let pass.
    void checks_data()
    {
        QTest::addColumn<CommitInput>("in");
        QTest::addColumn<QString>("message"); // every box, joined by '|'
        QTest::addColumn<int>("written");     // 0: refused
        const CommitInput base =
            input(Repetition::Daily, "2026.10.19 20:15", "2026.10.19 21:00", "2026.10.22");
        const auto row = [&](const char* name, QString CommitInput::*field, const QString& value,
                             const QString& message, int written = 0) {
            CommitInput c = base;
            if (field)
                c.*field = value;
            QTest::newRow(name) << c << message << written;
        };
        row("stop now", &CommitInput::stopTime, "12:00", m_msg.MsgStopInPast);
        row("start now", &CommitInput::startTime, "12:00", m_msg.MsgStartInPast);
        row("stop equal to start", &CommitInput::stopTime, "20:15", m_msg.MsgStopTooSoon);
        row("until on the start date", &CommitInput::untilDate, "2026.10.19",
            m_msg.MsgUntilTooSoon);
        row("channel gone", &CommitInput::channelNumber, "9",
            "Add 4 Recording entries|" + m_msg.MsgChannelNotFound);
        row("unreadable time", &CommitInput::startTime, "24:00", m_msg.MsgInvalidDateTime);
        row("cancelled", nullptr, {}, "Add 4 Recording entries"); // answered with Cancel
        row("daily, a good year long", &CommitInput::untilDate, "2027.11.22",
            "Add 400 Recording entries", 400);
        CommitInput monday = base;
        monday.weekdays[0] = kWeekdayCleared;
        QTest::newRow("Monday start, Monday cleared") << monday << m_msg.MsgWeekdayMismatch << 0;
        QTest::newRow("one minute, a minute from now")
            << input(Repetition::Once, "2026.10.19 12:01", "2026.10.19 12:02", "") << QString()
            << 1;
    }
    void checks()
    {
        QFETCH(CommitInput, in);
        QFETCH(QString, message);
        QFETCH(int, written);
        if (QByteArray(QTest::currentDataTag()) == "cancelled")
            m_prompter.answers.enqueue(Prompter::Answer::Cancel);
        const auto r = commit(in);
        QCOMPARE(r.outcome, written ? Outcome::Finished : Outcome::Refused);
        QCOMPARE(r.written, written);
        QCOMPARE(m_prompter.texts().join('|'), message);
        QCOMPARE(rows("count(*)"), QStringList{QString::number(written)});
    }

    // A row the file refuses: the rows before it stay, the user learns which and why.
    void failedWrite_data()
    {
        QTest::addColumn<QString>("cause"); // a STARTTIME the viewer refuses, "locked" or "gone"
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reason");
        const int finished = int(Outcome::Finished), first = int(Outcome::FirstFailed);
        const QString refused = u"refused by the viewer"_s, error = u"ERROR adding recording"_s;
        QTest::newRow("third row")
            << "2026.10.21 20:15" << finished << QStringList{"2026.10.19 20:15", "2026.10.20 20:15"}
            << error + " for STARTTIME=2026.10.21 20:15" << refused;
        QTest::newRow("first row")
            << "2026.10.19 20:15" << first << QStringList{} << error << refused;
        // The viewer holds the write lock for longer than the busy timeout.
        QTest::newRow("locked") << "locked" << first << QStringList{} << error << "locked";
        QTest::newRow("file gone")
            << "gone" << first << QStringList{} << error << "no longer exists";
    }
    void failedWrite()
    {
        QFETCH(QString, cause);
        QFETCH(int, outcome);
        QFETCH(QStringList, kept);
        QFETCH(QString, message);
        QFETCH(QString, reason);
        if (cause == "locked")
            m_f->run("BEGIN EXCLUSIVE");
        else if (cause == "gone")
            QVERIFY(QFile::remove(m_path));
        else
            m_f->run("CREATE TRIGGER refuse BEFORE INSERT ON RECORD WHEN NEW.STARTTIME = '" +
                     cause + "' BEGIN SELECT RAISE(ABORT, 'refused by the viewer'); END");
        const auto r =
            commit(input(Repetition::Daily, "2026.10.19 20:15", "2026.10.19 21:00", "2026.10.25"));
        if (cause == "locked")
            m_f->run("ROLLBACK");
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(r.written, kept.size());
        QCOMPARE(m_prompter.shown.size(), 2);
        const QString& text = m_prompter.shown.last().text;
        QVERIFY2(text.startsWith(message + "\n\n") && text.contains(reason), qPrintable(text));
        if (cause != "gone")
            QCOMPARE(rows("STARTTIME"), kept);
    }

    // orbivuState 1: the scheduler's viewer records, so the caption is shown instead.
    void button_data()
    {
        QTest::addColumn<int>("orbivuState");
        QTest::addColumn<bool>("added");
        QTest::newRow("scheduler's viewer records") << 1 << true;
        QTest::newRow("user's viewer runs, rows added") << 2 << true;
        QTest::newRow("no viewer, cancelled") << 0 << false;
    }
    void button()
    {
        QFETCH(int, orbivuState);
        QFETCH(bool, added);
        AppState state;
        state.orbivuState = orbivuState;
        test::FakeView view;
        view.captionText = u"Dorvel Ver 0.36 - recording"_s;
        int shown = 0, reloaded = 0;
        const auto form = [&] {
            ++shown;
            return added;
        };
        AddRecordingCommand(state, m_prompter, view, form, [&] { ++reloaded; }).run();
        QCOMPARE(shown, int(orbivuState != 1));
        QCOMPARE(reloaded, int(orbivuState != 1 && added));
        QCOMPARE(m_prompter.texts(),
                 orbivuState == 1 ? QStringList{view.captionText} : QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestRecordingCommit)
#include "tst_recordingcommit.moc"
