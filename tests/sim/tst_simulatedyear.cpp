// A year of recordings, run through the real loader, scheduler and after-recording logic
// against a real viewer database, with the clock, the process table and the power backend
// simulated. An oracle that knows only the rules says what had to start, when, and how.

#include "activitylist.h"
#include "afterrecording.h"
#include "appstate.h"
#include "eventlog.h"
#include "fakes.h"
#include "oracle.h"
#include "powerfakes.h"
#include "powerops.h"
#include "recordingsloader.h"
#include "scheduler.h"
#include "simworld.h"
#include "standbycommands.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <random>

using namespace dorvel;
using namespace dorvel::sim;
using namespace dorvel::test;

namespace {

const QString kDbForm = QStringLiteral("yyyy.MM.dd HH:mm");

// Titles that test the file-name rule: blanks, separators, umlauts, quotes, one letter.
const QStringList kTitles{
    QStringLiteral("Tagesschau"),
    QStringLiteral(" Die Sendung: Teil 1/2 "),
    QStringLiteral("Tatort"),
    QStringLiteral("Ärger im Büro"),
    QStringLiteral("50% & mehr?"),
    QStringLiteral("Sport*Extra"),
    QStringLiteral("Ça va, Paris"),
    QStringLiteral("A"),
    QStringLiteral("Nachrichten."),
    QStringLiteral("Film \"Der Pate\""),
    QStringLiteral("Kosten: 5€"),
    QStringLiteral("Die größten Shows"),
    QStringLiteral("Rock'n'Roll"),
    QStringLiteral("back\\slash^`grave"),
    QStringLiteral("Die 100 besten <Hits> [live]"),
    QStringLiteral("Wetter (regional) - ß"),
};
const QList<QTime> kTimes{QTime(20, 15), QTime(21, 0),  QTime(21, 45), QTime(22, 0),
                          QTime(23, 50), QTime(1, 30),  QTime(2, 30),  QTime(6, 0),
                          QTime(12, 0),  QTime(18, 30), QTime(19, 59), QTime(0, 0)};
const QList<int> kLengths{15, 30, 45, 60, 90, 95, 120, 180};

class Year {
public:
    Year()
    {
        QDir().mkpath(m_recDir);
        for (int c = 1; c <= 8; ++c)
            folder.addChannel(c, QStringLiteral("Kanal %1").arg(c));
        m_viewerDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("sim"));
        m_viewerDb.setDatabaseName(folder.db);
        m_viewerDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=100"));
        m_viewerDb.open();
        db.open(folder.db);

        state.orbivuExePath = folder.exe;
        state.recordDirectory = m_recDir;
        state.appPath = m_tmp.filePath(QStringLiteral("dorvel"));
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        Settings& s = state.settings;
        s.autoClose = true;     // a viewer in the way is asked to close, not waited for
        s.ignoreOverlap = true; // overlaps are part of the year
        s.startPendingRecord = true;
        s.useShortdesc = s.streamonly = s.recDelay = true;
        s.recDelaySec = 500;
        s.shutDownType = QStringLiteral("Never");
        s.saveLog = true;
        log.setPath(m_tmp.filePath(QStringLiteral("Dorvel.log")));

        viewers.onStart = [this](const QString& p, const QStringList& a) { return started(p, a); };
        viewers.ended = [this](const SimViewers::Proc& p) {
            if (!p.obeysClose)
                oracle.viewerBlocked(p.startedAt, clock.now());
            busy();
        };
        power.userWakesAfter = [this] { return qint64(uni(3600, 10 * 3600)); };
        Scheduler::Hooks hooks;
        hooks.checkAfterRecording = [this] { after.checkAfterRecording(); };
        hooks.signalSystemRequired = [this] { ops.signalSystemRequired(state.standbyMode); };
        hooks.closeWakeTimer = [this] { ops.closeWakeTimer(); };
        hooks.endProcess = [this] { ++ended; };
        hooks.recordingStarted = [this] { ops.holdAwakeForRecording(true); };
        scheduler.setHooks(hooks);
        loader.setRetry([this](int ms, std::function<void()> again) {
            m_world.emplace(clock.now().addMSecs(ms), [this, again] {
                oracle.loadRuns(clock.now(), stored(), m_locked, recording());
                ++loadRetries;
                again();
            });
        });
        prompter.onShow = [this](const Prompter::Box&) { boxShown(); };
    }
    ~Year()
    {
        m_viewerDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("sim"));
    }

    void plan();
    void run();

    // Everything the test reads.
    QTemporaryDir m_tmp;
    QString m_recDir = m_tmp.filePath(QStringLiteral("rec")) + QLatin1Char('/');
    ViewerFolder folder =
        ViewerFolder::create(m_tmp.filePath(QStringLiteral("Program Files/Orbivu")));
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("dorvel-sim")};
    SimViewers viewers;
    ViewerProcess viewer{viewers, viewers};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{QDateTime(QDate(2027, 1, 1), QTime(0, 0))};
    EventLog log{clock, state.settings};
    FakeSystem sys; // autostart entry, countdown window, wake-up tool
    MemorySettingsStore store;
    SimPower power{clock};
    PowerOps ops{power, prompter};
    int ended = 0;
    AfterRecording after{PowerServices{state, todo, activity, log, prompter, view, timer, clock,
                                       store, viewer, ops, sys, sys, sys},
                         AfterRecording::Hooks{[this] { ++ended; }, {}}};
    Scheduler scheduler{state, todo, activity, db, viewer, prompter, view, timer, clock, log, sys};
    RecordingsLoader loader{state, todo,  activity, db,    prompter,
                            view,  timer, clock,    store, [this] { ++ended; }};
    Oracle oracle{ViewerSwitches{folder.exe, m_recDir, 500}};

    QList<DbEntry> everStored;
    const QDateTime begin = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
    const QDateTime end = QDateTime(QDate(2027, 12, 31), QTime(23, 0));
    int crashes = 0, hangs = 0, suspends = 0, locks = 0, lockedStarts = 0, heldBoxes = 0,
        boxesInTick = 0, answeredLater = 0, viewerAdds = 0, viewerDeletes = 0, reloads = 0,
        loadRetries = 0, standbyCommands = 0, ticks = 0, dstStarts = 0;

private:
    using Queue = std::multimap<QDateTime, std::function<void()>>;

    int uni(int lo, int hi) { return lo + int(m_rng() % quint32(hi - lo + 1)); }
    bool chance(int percent) { return uni(0, 99) < percent; }
    QDateTime randomInstant(const QDateTime& from, qint64 spanSecs)
    {
        return from.addSecs(qint64(m_rng() % quint64(spanSecs))).addMSecs(uni(1, 999));
    }

    // The world's doings, in planning.
    void planSeries(const QDateTime& created, int kind);
    void planClockChangeNights();
    void addEntries(const QDateTime& created, QList<DbEntry> rows, bool reload);
    void scheduleReload(const QDateTime& at);
    void scheduleLock(const QDateTime& from, int secs);
    QDateTime launchInstant(const DbEntry& e) const;

    // The world's doings, at run time.
    QList<DbEntry> stored();
    bool recording() const;
    SimViewers::Proc started(const QString& program, const QStringList& args);
    void boxShown();
    void runUntil(const QDateTime& limit);
    // What the viewer and the machine did up to now, in order.
    void worldUntilNow();
    QDateTime nextInteresting(const QDateTime& limit);
    void busy(int secs = 15) { m_busyUntil = std::max(m_busyUntil, clock.now().addSecs(secs)); }
    void tick();
    // The program reads local time, as the system clock gives it.
    void setClock(const QDateTime& t) { clock.set(t.toLocalTime()); }

    std::mt19937 m_rng{20270101u};
    QSqlDatabase m_viewerDb;
    Queue m_world; // the viewer, the machine, the program's own timers
    Queue m_user;  // the user's buttons and boxes: not while a box is open
    std::vector<QDateTime> m_hints;
    size_t m_hint = 0;
    QDateTime m_nextTick;
    QDateTime m_busyUntil;
    int m_boxDepth = 0;
    qsizetype m_postedSeen = 0;
    bool m_locked = false;
    int m_nextId = 1;
    QSet<QString> m_launchMinutes;
};

QDateTime Year::launchInstant(const DbEntry& e) const
{
    // The whole second of the launch, so that a tick falls on the launch time itself.
    const QDateTime start = QDateTime::fromString(e.start, kDbForm);
    const QDateTime after = Oracle::firstInstantAfter(
        Oracle::wallSerial(QDateTime(start.date(), start.time(), Qt::UTC)) - e.pre * 0.000694444,
        begin);
    return after.addMSecs(-after.time().msec());
}

void Year::addEntries(const QDateTime& created, QList<DbEntry> rows, bool reload)
{
    // Two entries launching in the same minute cannot both record; the year keeps them apart.
    rows.removeIf([&](const DbEntry& e) {
        const QDateTime s = QDateTime::fromString(e.start, kDbForm).addSecs(-60 * e.pre);
        const QString key = s.toString(QStringLiteral("yyyyMMddHHmm"));
        if (launchInstant(e) < created.addSecs(180) || launchInstant(e) > end.addDays(-2) ||
            m_launchMinutes.contains(key))
            return true;
        m_launchMinutes.insert(key);
        return false;
    });
    if (rows.isEmpty())
        return;
    for (DbEntry& e : rows) {
        e.id = m_nextId++;
        everStored.append(e);
        m_hints.push_back(launchInstant(e));
        // The viewer's user deletes some of them again, now and then with a reload after.
        if (chance(12)) {
            const qint64 span = created.secsTo(launchInstant(e)) - 120;
            const QDateTime at = randomInstant(created.addSecs(60), std::max<qint64>(span, 1));
            const int id = e.id;
            m_world.emplace(at, [this, id] {
                QSqlQuery q(m_viewerDb);
                q.prepare(QStringLiteral("DELETE FROM RECORD WHERE LONGDESC = ?"));
                q.addBindValue(QStringLiteral("id %1").arg(id));
                q.exec();
                ++viewerDeletes;
            });
            if (chance(50))
                scheduleReload(at.addSecs(uni(30, 900)));
        }
    }
    m_world.emplace(created, [this, rows] {
        QSqlQuery q(m_viewerDb);
        q.prepare(QStringLiteral("INSERT INTO RECORD (NID, SID, SOURCEID, STARTTIME, ENDTIME, "
                                 "SHORTDESC, LONGDESC, CHARID, PRERECORD, POSTRECORD) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
        for (const DbEntry& e : rows) {
            for (const QVariant& v :
                 {QVariant(e.channel), QVariant(e.channel), QVariant(e.channel), QVariant(e.start),
                  QVariant(e.end), QVariant(e.title), QVariant(QStringLiteral("id %1").arg(e.id)),
                  QVariant(e.pre), QVariant(e.post)})
                q.addBindValue(v);
            if (!q.exec())
                qWarning() << "the viewer could not store an entry";
        }
        viewerAdds += int(rows.size());
    });
    if (reload)
        scheduleReload(created.addSecs(uni(30, 1200)).addMSecs(uni(1, 999)));
}

void Year::scheduleReload(const QDateTime& at)
{
    m_user.emplace(at, [this] {
        ++reloads;
        oracle.loadRuns(clock.now(), stored(), m_locked, recording());
        loader.getRecordings();
    });
}

void Year::scheduleLock(const QDateTime& from, int secs)
{
    ++locks;
    m_world.emplace(from, [this] {
        QSqlQuery(m_viewerDb).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        m_locked = true;
    });
    m_world.emplace(from.addSecs(secs), [this] {
        QSqlQuery(m_viewerDb).exec(QStringLiteral("COMMIT"));
        m_locked = false;
        db.setBusyTimeout(ViewerDatabase::kBusyTimeoutMs);
        busy(40); // the program tries its failed deletes again
    });
}

void Year::planSeries(const QDateTime& created, int kind)
{
    const int channel = uni(1, 8);
    const QString title = kTitles.at(uni(0, int(kTitles.size()) - 1));
    QTime tod = chance(70) ? kTimes.at(uni(0, int(kTimes.size()) - 1))
                           : QTime(0, 0).addSecs(60 * uni(0, 1439));
    const int length = chance(70) ? kLengths.at(uni(0, int(kLengths.size()) - 1)) : uni(5, 240);
    const int pre = uni(0, 5), post = uni(0, 10);
    QList<QDate> days;
    QDate first = created.date().addDays(uni(0, 10));
    if (kind == 0) {
        if (chance(25)) { // at short notice: a programme starting soon
            const QDateTime soon = created.addSecs(60 * uni(8, 90));
            first = soon.date();
            tod = QTime(soon.time().hour(), soon.time().minute());
        }
        days.append(first);
    } else if (kind == 1) {
        int mask = 0;
        while (mask == 0)
            mask = uni(1, 127);
        for (int d = 0, n = uni(4, 14); d < 21 && days.size() < n; ++d) {
            if (mask & (1 << (first.addDays(d).dayOfWeek() - 1)))
                days.append(first.addDays(d));
        }
    } else {
        for (int w = 0, n = uni(3, 8); w < n; ++w)
            days.append(first.addDays(7 * w));
    }
    QList<DbEntry> rows;
    for (const QDate& d : days) {
        const QDateTime s(d, tod, Qt::UTC);
        rows.append({0, channel, title, s.toString(kDbForm),
                     s.addSecs(60 * length).toString(kDbForm), pre, post});
    }
    addEntries(created, rows, chance(85));
}

void Year::planClockChangeNights()
{
    // The night the clocks go forward (28 March, 02:00 -> 03:00) and the night they go back
    // (31 October, 03:00 -> 02:00): starts and ends in the skipped and the repeated hour.
    auto row = [](int channel, const QString& title, const QDateTime& s, int minutes, int pre,
                  int post) {
        return DbEntry{
            0,   channel, title, s.toString(kDbForm), s.addSecs(60 * minutes).toString(kDbForm),
            pre, post};
    };
    const QDateTime created1(QDate(2027, 3, 20), QTime(10, 0, 7));
    addEntries(created1,
               {row(1, QStringLiteral("Nachtkino"),
                    QDateTime(QDate(2027, 3, 28), QTime(1, 40), Qt::UTC), 100, 0, 5),
                row(2, QStringLiteral("Sprung"),
                    QDateTime(QDate(2027, 3, 28), QTime(2, 30), Qt::UTC), 45, 2, 2),
                row(3, QStringLiteral("Frühaufsteher"),
                    QDateTime(QDate(2027, 3, 28), QTime(3, 40), Qt::UTC), 30, 0, 0)},
               true);
    QList<DbEntry> daily;
    for (int d = 25; d <= 31; ++d)
        daily.append(row(4, QStringLiteral("Nachtmagazin"),
                         QDateTime(QDate(2027, 3, d), QTime(2, 20), Qt::UTC), 25, 1, 1));
    addEntries(created1.addSecs(3600), daily, true);

    const QDateTime created2(QDate(2027, 10, 24), QTime(18, 0, 3));
    addEntries(created2,
               {row(5, QStringLiteral("Doppelte Stunde"),
                    QDateTime(QDate(2027, 10, 31), QTime(2, 15), Qt::UTC), 20, 0, 0),
                row(6, QStringLiteral("Zeitumstellung"),
                    QDateTime(QDate(2027, 10, 31), QTime(1, 30), Qt::UTC), 120, 3, 3),
                row(7, QStringLiteral("Spätfilm"),
                    QDateTime(QDate(2027, 10, 31), QTime(2, 50), Qt::UTC), 50, 0, 4)},
               true);
    daily.clear();
    for (int d = 28; d <= 31; ++d)
        daily.append(row(8, QStringLiteral("Nachtjournal"),
                         QDateTime(QDate(2027, 10, d), QTime(2, 40), Qt::UTC), 15, 0, 1));
    daily.append(row(8, QStringLiteral("Nachtjournal"),
                     QDateTime(QDate(2027, 11, 1), QTime(2, 40), Qt::UTC), 15, 0, 1));
    addEntries(created2.addSecs(600), daily, true);
}

void Year::plan()
{
    planClockChangeNights();
    for (int i = 0; i < 78; ++i) {
        const int r = uni(0, 99);
        planSeries(randomInstant(begin.addSecs(3600), 345LL * 86400), r < 45 ? 0 : r < 72 ? 1 : 2);
    }
    std::sort(m_hints.begin(), m_hints.end());

    // The user's own reloads and StandBy presses, whenever they like.
    for (int i = 0; i < 100; ++i)
        scheduleReload(randomInstant(begin.addSecs(7200), 360LL * 86400));
    for (int i = 0; i < 12; ++i) {
        m_user.emplace(randomInstant(begin.addSecs(7200), 360LL * 86400), [this] {
            ++standbyCommands;
            after.commands().standByCommand();
        });
    }
    // The machine suspended by hand, some of the times over a launch.
    auto suspend = [this](const QDateTime& at, int secs) {
        m_world.emplace(at, [this, secs] {
            ++suspends;
            const QDateTime from = clock.now();
            clock.advanceSecs(secs);
            oracle.machineAsleep(from, clock.now());
        });
    };
    for (int i = 0; i < 18; ++i)
        suspend(randomInstant(begin.addSecs(7200), 360LL * 86400), uni(300, 10 * 3600));
    for (int i = 0; i < 6; ++i) {
        const QDateTime l = m_hints.at(size_t(uni(0, int(m_hints.size()) - 1)));
        suspend(l.addSecs(-uni(60, 3600)), uni(3700, 4 * 3600));
    }
    // The database locked by the viewer for seconds: at launches (the delete of the started
    // entry), at reloads (the load tries again), and anywhere.
    for (int i = 0; i < 12; ++i) {
        const QDateTime l = m_hints.at(size_t(uni(0, int(m_hints.size()) - 1)));
        scheduleLock(l.addSecs(-1), uni(2, 8));
    }
    for (int placed = 0; placed < 6;) {
        const QDateTime at = randomInstant(begin.addSecs(7200), 360LL * 86400);
        const auto near = std::lower_bound(m_hints.begin(), m_hints.end(), at.addSecs(-180));
        if (near != m_hints.end() && *near < at.addSecs(240))
            continue;
        scheduleLock(at.addSecs(-1), uni(2, 8));
        scheduleReload(at);
        ++placed;
    }
    for (int i = 0; i < 8; ++i)
        scheduleLock(randomInstant(begin.addSecs(7200), 360LL * 86400), uni(2, 8));
}

QList<DbEntry> Year::stored()
{
    QList<DbEntry> rows;
    QSqlQuery q(m_viewerDb);
    q.exec(QStringLiteral("SELECT LONGDESC, NID, STARTTIME, ENDTIME, SHORTDESC, PRERECORD, "
                          "POSTRECORD FROM RECORD ORDER BY rowid"));
    while (q.next()) {
        rows.append({q.value(0).toString().mid(3).toInt(), q.value(1).toInt(),
                     q.value(4).toString(), q.value(2).toString(), q.value(3).toString(),
                     q.value(5).toInt(), q.value(6).toInt()});
    }
    return rows;
}

bool Year::recording() const
{
    return std::any_of(viewers.procs.begin(), viewers.procs.end(), [](const auto& p) {
        return p.info.exePath.endsWith(QStringLiteral("Orbivu.EXE"));
    });
}

SimViewers::Proc Year::started(const QString& program, const QStringList& args)
{
    const QDateTime now = clock.now();
    oracle.viewerStarted(now, program, args);
    if (m_locked)
        ++lockedStarts;
    const QDateTime local = now.toLocalTime();
    if ((local.date() == QDate(2027, 3, 28) || local.date() == QDate(2027, 10, 31)) &&
        local.time() < QTime(5, 0))
        ++dstStarts;
    int minutes = 0;
    QString file;
    for (const QString& a : args) {
        if (a.startsWith(QStringLiteral("/record=")))
            minutes = a.mid(8).toInt();
        if (a.startsWith(QStringLiteral("/file=")))
            file = a.mid(6);
    }
    SimViewers::Proc p;
    p.info.exePath = program;
    p.startedAt = now;
    const int fate = uni(0, 99);
    if (fate < 6) { // crashes at once, before it has written anything
        ++crashes;
        p.endAt = now.addMSecs(300);
    } else {
        QFile f(m_recDir + file + QStringLiteral(".ts"));
        f.open(QIODevice::WriteOnly);
        p.endAt = now.addSecs(60LL * minutes);
        if (fate < 18) { // hangs after the recording and ignores close requests
            ++hangs;
            p.obeysClose = false;
            p.endAt = p.endAt.addSecs(60LL * uni(20, 300));
        }
    }
    busy();
    return p;
}

void Year::boxShown()
{
    // A box inside the tick would hold up every recording: it must never happen.
    if (scheduler.inTick()) {
        ++boxesInTick;
        return;
    }
    // The user leaves the box open for minutes or hours; the program's timer runs on.
    ++heldBoxes;
    ++m_boxDepth;
    runUntil(std::min(end, clock.now().addSecs(uni(60, 6 * 3600))));
    --m_boxDepth;
}

void Year::tick()
{
    ++ticks;
    // The lock is held in simulated time; a real wait for it would only cost run time.
    if (m_locked)
        db.setBusyTimeout(20);
    scheduler.tick();
}

QDateTime Year::nextInteresting(const QDateTime& limit)
{
    const QDateTime now = clock.now();
    QDateTime x = limit;
    if (!m_world.empty())
        x = std::min(x, m_world.begin()->first);
    if (m_boxDepth == 0 && !m_user.empty())
        x = std::min(x, m_user.begin()->first);
    if (const QDateTime e = viewers.nextEnd(); e.isValid())
        x = std::min(x, e);
    // Ticks go on for a while after a launch: the start comes with the first one after it.
    for (; m_hint < m_hints.size() && m_hints[m_hint] <= now; ++m_hint)
        busy();
    if (m_hint < m_hints.size())
        x = std::min(x, m_hints[m_hint]);
    // The program's own next launch, in case it differs from the world's.
    if (todo.nextEventTime < 1000000) {
        const QDateTime own = Oracle::firstInstantAfter(todo.nextEventTime, now);
        if (own > now)
            x = std::min(x, own);
    }
    return x;
}

void Year::worldUntilNow()
{
    while (!m_world.empty() && m_world.begin()->first <= clock.now()) {
        auto fn = std::move(m_world.begin()->second);
        m_world.erase(m_world.begin());
        fn();
        busy();
    }
    viewers.endDue(clock.now());
}

void Year::runUntil(const QDateTime& limit)
{
    while (clock.now() < limit) {
        const QDateTime now = clock.now();
        if (!m_nextTick.isValid() || m_nextTick < now)
            m_nextTick = now;
        const QDateTime x = nextInteresting(limit);
        // Nothing near: the ticks in between would find nothing to do.
        if (x > now.addSecs(70) && m_busyUntil < now) {
            setClock(x.addSecs(-60));
            m_nextTick = clock.now();
            continue;
        }
        setClock(std::max(now, std::min(m_nextTick, x)));
        worldUntilNow();
        // A timer that fell due while the machine slept fires at once on waking, before
        // anything the user does.
        if (clock.now() >= m_nextTick) {
            if (timer.isActive())
                tick();
            m_nextTick = clock.now().addMSecs(500);
            // The tick may have slept: what happened meanwhile comes next, then a tick.
            const QDateTime woke = clock.now();
            worldUntilNow();
            if (clock.now() != woke) {
                m_nextTick = clock.now();
                continue;
            }
        }
        // One at a time: what the user does may move the clock (a StandBy), and the world
        // and the timer come first after that.
        if (m_boxDepth == 0 && !m_user.empty() && m_user.begin()->first <= clock.now()) {
            auto fn = std::move(m_user.begin()->second);
            m_user.erase(m_user.begin());
            fn();
            busy();
        }
        // Boxes that do not wait are answered some time later, hours at most.
        for (; m_postedSeen < prompter.open.size(); ++m_postedSeen) {
            m_user.emplace(clock.now().addSecs(uni(60, 8 * 3600)), [this] {
                if (prompter.answerOpen())
                    ++answeredLater;
                --m_postedSeen;
            });
        }
    }
}

void Year::run()
{
    plan();
    setClock(begin);
    after.checkAfterRecording();
    oracle.loadRuns(clock.now(), stored(), m_locked, recording());
    loader.getRecordings();
    runUntil(end);
    oracle.finish(end, everStored);
}

} // namespace

class TestSimulatedYear : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The year's clock changes are Europe/Berlin's.
        QCOMPARE(QTimeZone::systemTimeZone().id(), QByteArray("Europe/Berlin"));
    }

    // Every due entry starts once, in time, with its command line; nothing else starts.
    void year()
    {
        QElapsedTimer took;
        took.start();
        Year y;
        y.run();
        const Figures& f = y.oracle.figures();
        qInfo().noquote()
            << QStringLiteral(
                   "simulated year: entries %1, due %2, starts %3, missed %4, doubled %5, "
                   "wrong command lines %6, late %7, unexpected %8; taken over %9, timed out at "
                   "a load %10, never loaded %11")
                   .arg(f.entries)
                   .arg(f.due)
                   .arg(f.starts)
                   .arg(f.missed)
                   .arg(f.doubled)
                   .arg(f.wrongCommand)
                   .arg(f.late)
                   .arg(f.unexpected)
                   .arg(f.takenOver)
                   .arg(f.timedOutAtLoad)
                   .arg(f.unseen);
        qInfo().noquote()
            << QStringLiteral(
                   "  world: viewer adds %1, viewer deletes %2, reloads %3 (+%4 retries), crashes "
                   "%5, hangs %6, suspends %7, program sleeps %8 timed + %9 until the user, "
                   "locks %10 (%11 over a start), boxes held open %12, answered later %13, "
                   "StandBy presses %14, starts on clock-change nights %15, ticks %16, run time "
                   "%17 s")
                   .arg(y.viewerAdds)
                   .arg(y.viewerDeletes)
                   .arg(y.reloads)
                   .arg(y.loadRetries)
                   .arg(y.crashes)
                   .arg(y.hangs)
                   .arg(y.suspends)
                   .arg(y.power.timedSleeps)
                   .arg(y.power.userSleeps)
                   .arg(y.locks)
                   .arg(y.lockedStarts)
                   .arg(y.heldBoxes)
                   .arg(y.answeredLater)
                   .arg(y.standbyCommands)
                   .arg(y.dstStarts)
                   .arg(y.ticks)
                   .arg(double(took.elapsed()) / 1000.0, 0, 'f', 1);
        for (const QString& p : y.oracle.problems())
            qInfo().noquote() << "  " + p;

        QVERIFY(f.due > 150);
        QCOMPARE(f.missed, 0);
        QCOMPARE(f.doubled, 0);
        QCOMPARE(f.wrongCommand, 0);
        QCOMPARE(f.late, 0);
        QCOMPARE(f.unexpected, 0);
        QCOMPARE(y.boxesInTick, 0);
        QCOMPARE(y.ended, 0);
        QCOMPARE(y.power.powerOffs, 0);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedYear)
#include "tst_simulatedyear.moc"
