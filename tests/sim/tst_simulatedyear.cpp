// A year of recordings through the real loader, scheduler and after-recording logic over a real
// viewer database, with the clock, the process table and the power backend simulated. The
// oracle, which knows only the rules, says what had to start, when, and how.

#include "activitylist.h"
#include "afterrecording.h"
#include "appstate.h"
#include "eventlog.h"
#include "fakes.h"
#include "oracle.h"
#include "power.h"
#include "powerfakes.h"
#include "powerops.h"
#include "recordingsloader.h"
#include "scheduler.h"
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
// Titles that try the file-name rule: blanks, separators, umlauts, quotes, one letter.
const QStringList kTitles =
    QStringLiteral("Tagesschau| Die Sendung: Teil 1/2 |Tatort|Ärger im Büro|50% & mehr?|"
                   "Sport*Extra|Ça va, Paris|A|Nachrichten.|Film \"Der Pate\"|Kosten: 5€|"
                   "Die größten Shows|Rock'n'Roll|back\\slash^`grave|"
                   "Die 100 besten <Hits> [live]|Wetter (regional) - ß")
        .split(QLatin1Char('|'));
const QList<QTime> kTimes{QTime(20, 15), QTime(21, 0),  QTime(21, 45), QTime(22, 0),
                          QTime(23, 50), QTime(1, 30),  QTime(2, 30),  QTime(6, 0),
                          QTime(12, 0),  QTime(18, 30), QTime(19, 59), QTime(0, 0)};
const QList<int> kLengths{15, 30, 45, 60, 90, 95, 120, 180};

// The machine around the program: viewers that record, crash at once or hang and ignore close
// requests, and a power backend whose sleeps move the clock.
class Year final : public ProcessTable, public ProcessLauncher, public Power {
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
        s.startPendingRecord = s.useShortdesc = s.streamonly = s.recDelay = s.saveLog = true;
        s.recDelaySec = 500;
        s.shutDownType = QStringLiteral("Never");
        log.setPath(m_tmp.filePath(QStringLiteral("Dorvel.log")));

        scheduler.setHooks({[this] { after.checkAfterRecording(); },
                            [this] { ops.signalSystemRequired(state.standbyMode); },
                            [this] { ops.closeWakeTimer(); },
                            [this] { ++count["program ends"]; },
                            {},
                            [this] { ops.holdAwakeForRecording(true); }});
        loader.setRetry([this](int ms, std::function<void()> again) {
            m_world.emplace(clock.now().addMSecs(ms), [this, again] {
                load();
                ++count["load retries"];
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

    void run()
    {
        plan();
        setClock(begin);
        after.checkAfterRecording();
        load();
        loader.getRecordings();
        runUntil(end);
        oracle.finish(end, everStored);
    }

    QTemporaryDir m_tmp;
    QString m_recDir = m_tmp.filePath(QStringLiteral("rec")) + QLatin1Char('/');
    ViewerFolder folder =
        ViewerFolder::create(m_tmp.filePath(QStringLiteral("Program Files/Orbivu")));
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("dorvel-sim")};
    ViewerProcess viewer{*this, *this};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{QDateTime(QDate(2027, 1, 1), QTime(0, 0))};
    EventLog log{clock, state.settings};
    FakeSystem sys; // autostart entry, countdown window, wake-up tool
    MemorySettingsStore store;
    PowerOps ops{*this, prompter};
    AfterRecording after{PowerServices{state, todo, activity, log, prompter, view, timer, clock,
                                       store, viewer, ops, sys, sys, sys},
                         AfterRecording::Hooks{[this] { ++count["program ends"]; }, {}}};
    Scheduler scheduler{state, todo, activity, db, viewer, prompter, view, timer, clock, log, sys};
    RecordingsLoader loader{state, todo,  activity, db,    prompter,
                            view,  timer, clock,    store, [this] { ++count["program ends"]; }};
    Oracle oracle{folder.exe, m_recDir};

    QList<DbEntry> everStored;
    const QDateTime begin = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
    const QDateTime end = QDateTime(QDate(2027, 12, 31), QTime(23, 0));
    QMap<QString, int> count; // what the world did

    // The process table and the launcher.
    QList<ProcessInfo> processes() const override
    {
        QList<ProcessInfo> out;
        for (const Proc& p : m_procs)
            out.append(p.info);
        return out;
    }
    std::optional<ProcessInfo> process(qint64 pid) const override
    {
        const qsizetype i = indexOf(pid);
        return i < 0 ? std::nullopt : std::optional(m_procs[i].info);
    }
    bool requestClose(qint64 pid, int) override
    {
        const qsizetype i = indexOf(pid);
        if (i < 0 || !m_procs[i].obeysClose)
            return false;
        ended(m_procs.takeAt(i));
        return true;
    }
    std::optional<StartedProcess> start(const QString& program, const QStringList& args,
                                        const QString&, QString*) override;
    // The power backend.
    QList<PowerCheck> failedChecks(PowerRequest) override { return {}; }
    void powerOff() override { ++count["power-offs"]; }
    QString standbyWithWakeup(qint32 seconds) override
    {
        ++count["timed program sleeps"];
        clock.advanceSecs(seconds); // the alarm wakes the machine
        return powertext::Resumed;
    }
    QString standbyUntilUser() override
    {
        ++count["program sleeps until the user"];
        clock.advanceSecs(uni(3600, 10 * 3600));
        return powertext::Resumed;
    }
    void setSystemRequired(bool on) override { m_held = on; }
    bool systemRequired() const override { return m_held; }
    void closeWakeTimer() override {}

private:
    struct Proc {
        ProcessInfo info;
        QDateTime startedAt, endAt;
        bool obeysClose = true;
    };
    using Queue = std::multimap<QDateTime, std::function<void()>>;

    int uni(int lo, int hi) { return lo + int(m_rng() % quint32(hi - lo + 1)); }
    bool chance(int percent) { return uni(0, 99) < percent; }
    QDateTime randomInstant(const QDateTime& from, qint64 spanSecs)
    {
        return from.addSecs(qint64(m_rng() % quint64(spanSecs))).addMSecs(uni(1, 999));
    }
    QDateTime anyTime() { return randomInstant(begin.addSecs(7200), 360LL * 86400); }
    QDateTime anyLaunch() { return m_hints.at(size_t(uni(0, int(m_hints.size()) - 1))); }
    void busy(int secs = 15) { m_busyUntil = std::max(m_busyUntil, clock.now().addSecs(secs)); }
    // The program reads local time, as the system clock gives it.
    void setClock(const QDateTime& t) { clock.set(t.toLocalTime()); }
    void load() { oracle.loadRuns(clock.now(), stored(), m_locked, recording()); }

    // The whole second of the launch, so that a tick falls on the launch time itself.
    QDateTime launchInstant(const DbEntry& e) const
    {
        const QDateTime after = Oracle::firstInstantAfter(
            Oracle::wallSerial(Oracle::naive(e.start)) - e.pre * Oracle::kMin, begin);
        return after.addMSecs(-after.time().msec());
    }

    void addEntries(const QDateTime& created, QList<DbEntry> rows, bool reload)
    {
        // Two entries launching in the same minute cannot both record; the year keeps them apart.
        rows.removeIf([&](const DbEntry& e) {
            const QString minute = QDateTime::fromString(e.start, kDbForm)
                                       .addSecs(-60 * e.pre)
                                       .toString(QStringLiteral("yyyyMMddHHmm"));
            if (launchInstant(e) < created.addSecs(180) || launchInstant(e) > end.addDays(-2) ||
                m_launchMinutes.contains(minute))
                return true;
            m_launchMinutes.insert(minute);
            return false;
        });
        if (rows.isEmpty())
            return;
        for (DbEntry& e : rows) {
            e.id = m_nextId++;
            everStored.append(e);
            m_hints.push_back(launchInstant(e));
            // The viewer's user deletes some again, now and then with a reload after.
            if (chance(12)) {
                const qint64 span = created.secsTo(launchInstant(e)) - 120;
                const QDateTime at = randomInstant(created.addSecs(60), std::max<qint64>(span, 1));
                m_world.emplace(at, [this, id = e.id] {
                    QSqlQuery q(m_viewerDb);
                    q.prepare(QStringLiteral("DELETE FROM RECORD WHERE LONGDESC = ?"));
                    q.addBindValue(QStringLiteral("id %1").arg(id));
                    q.exec();
                    ++count["viewer deletes"];
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
                     {QVariant(e.channel), QVariant(e.channel), QVariant(e.channel),
                      QVariant(e.start), QVariant(e.end), QVariant(e.title),
                      QVariant(QStringLiteral("id %1").arg(e.id)), QVariant(e.pre),
                      QVariant(e.post)})
                    q.addBindValue(v);
                QVERIFY(q.exec());
            }
            count["viewer adds"] += int(rows.size());
        });
        if (reload)
            scheduleReload(created.addSecs(uni(30, 1200)).addMSecs(uni(1, 999)));
    }

    void scheduleReload(const QDateTime& at)
    {
        m_user.emplace(at, [this] {
            ++count["reloads"];
            load();
            loader.getRecordings();
        });
    }

    // The viewer holds the database's lock for a few seconds.
    void scheduleLock(const QDateTime& from, int secs)
    {
        ++count["locks"];
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

    // kind 0: once (a quarter at short notice), 1: daily on some weekdays, 2: weekly.
    void planSeries(const QDateTime& created, int kind)
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
            if (chance(25)) {
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
        for (const QDate& d : days)
            rows.append(row(channel, title, QDateTime(d, tod, Qt::UTC), length, pre, post));
        addEntries(created, rows, chance(85));
    }
    static DbEntry row(int channel, const QString& title, const QDateTime& s, int minutes, int pre,
                       int post)
    {
        return {0,   channel, title, s.toString(kDbForm), s.addSecs(60 * minutes).toString(kDbForm),
                pre, post};
    }

    // The nights the clocks go forward (28 March, 02:00 -> 03:00) and back (31 October,
    // 03:00 -> 02:00): starts and ends in the skipped and in the repeated hour.
    void planClockChangeNights()
    {
        auto at = [](int month, int day, int h, int m) {
            return QDateTime(QDate(2027, month, day), QTime(h, m), Qt::UTC);
        };
        const QDateTime spring(QDate(2027, 3, 20), QTime(10, 0, 7));
        addEntries(spring,
                   {row(1, QStringLiteral("Nachtkino"), at(3, 28, 1, 40), 100, 0, 5),
                    row(2, QStringLiteral("Sprung"), at(3, 28, 2, 30), 45, 2, 2),
                    row(3, QStringLiteral("Frühaufsteher"), at(3, 28, 3, 40), 30, 0, 0)},
                   true);
        QList<DbEntry> daily;
        for (int d = 25; d <= 31; ++d)
            daily.append(row(4, QStringLiteral("Nachtmagazin"), at(3, d, 2, 20), 25, 1, 1));
        addEntries(spring.addSecs(3600), daily, true);

        const QDateTime autumn(QDate(2027, 10, 24), QTime(18, 0, 3));
        addEntries(autumn,
                   {row(5, QStringLiteral("Doppelte Stunde"), at(10, 31, 2, 15), 20, 0, 0),
                    row(6, QStringLiteral("Zeitumstellung"), at(10, 31, 1, 30), 120, 3, 3),
                    row(7, QStringLiteral("Spätfilm"), at(10, 31, 2, 50), 50, 0, 4)},
                   true);
        daily.clear();
        for (int d = 28; d <= 32; ++d)
            daily.append(row(8, QStringLiteral("Nachtjournal"), at(10, 28, 2, 40).addDays(d - 28),
                             15, 0, 1));
        addEntries(autumn.addSecs(600), daily, true);
    }

    void plan()
    {
        planClockChangeNights();
        for (int i = 0; i < 78; ++i) {
            const int r = uni(0, 99);
            planSeries(randomInstant(begin.addSecs(3600), 345LL * 86400), r < 45   ? 0
                                                                          : r < 72 ? 1
                                                                                   : 2);
        }
        std::sort(m_hints.begin(), m_hints.end());
        // The user's own reloads and StandBy presses, whenever they like.
        for (int i = 0; i < 100; ++i)
            scheduleReload(anyTime());
        for (int i = 0; i < 12; ++i) {
            m_user.emplace(anyTime(), [this] {
                ++count["StandBy presses"];
                after.commands().standByCommand();
            });
        }
        // The machine suspended by hand, some of the times over a launch.
        auto suspend = [this](const QDateTime& at, int secs) {
            m_world.emplace(at, [this, secs] {
                ++count["suspends"];
                const QDateTime from = clock.now();
                clock.advanceSecs(secs);
                oracle.blocked(from, clock.now());
            });
        };
        for (int i = 0; i < 18; ++i)
            suspend(anyTime(), uni(300, 10 * 3600));
        for (int i = 0; i < 6; ++i) {
            const QDateTime l = anyLaunch();
            suspend(l.addSecs(-uni(60, 3600)), uni(3700, 4 * 3600));
        }
        // Locks at launches (the delete of the started entry), at reloads (the load tries
        // again), and anywhere.
        for (int i = 0; i < 12; ++i) {
            const QDateTime l = anyLaunch();
            scheduleLock(l.addSecs(-1), uni(2, 8));
        }
        for (int placed = 0; placed < 6;) {
            const QDateTime at = anyTime();
            const auto near = std::lower_bound(m_hints.begin(), m_hints.end(), at.addSecs(-180));
            if (near != m_hints.end() && *near < at.addSecs(240))
                continue;
            scheduleLock(at.addSecs(-1), uni(2, 8));
            scheduleReload(at);
            ++placed;
        }
        for (int i = 0; i < 8; ++i)
            scheduleLock(anyTime(), uni(2, 8));
    }

    QList<DbEntry> stored()
    {
        QList<DbEntry> rows;
        QSqlQuery q(m_viewerDb);
        q.exec(QStringLiteral("SELECT LONGDESC, NID, SHORTDESC, STARTTIME, ENDTIME, PRERECORD, "
                              "POSTRECORD FROM RECORD ORDER BY rowid"));
        while (q.next()) {
            rows.append({q.value(0).toString().mid(3).toInt(), q.value(1).toInt(),
                         q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                         q.value(5).toInt(), q.value(6).toInt()});
        }
        return rows;
    }
    bool recording() const
    {
        return std::any_of(m_procs.begin(), m_procs.end(), [](const auto& p) {
            return p.info.exePath.endsWith(QStringLiteral("Orbivu.EXE"));
        });
    }

    void ended(const Proc& p)
    {
        if (!p.obeysClose)
            oracle.blocked(p.startedAt, clock.now());
        busy();
    }
    qsizetype indexOf(qint64 pid) const
    {
        for (qsizetype i = 0; i < m_procs.size(); ++i) {
            if (m_procs[i].info.pid == pid)
                return i;
        }
        return -1;
    }
    Proc started(const QString& program, const QStringList& args)
    {
        const QDateTime now = clock.now();
        oracle.viewerStarted(now, program, args);
        count["locks over a start"] += m_locked;
        const QDateTime local = now.toLocalTime();
        if ((local.date() == QDate(2027, 3, 28) || local.date() == QDate(2027, 10, 31)) &&
            local.time() < QTime(5, 0))
            ++count["starts on clock-change nights"];
        int minutes = 0;
        QString file;
        for (const QString& a : args) {
            if (a.startsWith(QStringLiteral("/record=")))
                minutes = a.mid(8).toInt();
            if (a.startsWith(QStringLiteral("/file=")))
                file = a.mid(6);
        }
        Proc p;
        p.info.exePath = program;
        p.startedAt = now;
        p.endAt = now.addSecs(60LL * minutes);
        const int fate = uni(0, 99);
        if (fate < 6) { // crashes at once, before it has written anything
            ++count["crashes"];
            p.endAt = now.addMSecs(300);
            busy();
            return p;
        }
        QFile f(m_recDir + file + QStringLiteral(".ts"));
        f.open(QIODevice::WriteOnly);
        if (fate < 18) { // hangs after the recording and ignores close requests
            ++count["hangs"];
            p.obeysClose = false;
            p.endAt = p.endAt.addSecs(60LL * uni(20, 300));
        }
        busy();
        return p;
    }

    void boxShown()
    {
        // A box inside the tick would hold up every recording: it must never happen.
        if (scheduler.inTick()) {
            ++count["boxes in a tick"];
            return;
        }
        // The user leaves the box open for minutes or hours; the program's timer runs on.
        ++count["boxes held open"];
        ++m_boxDepth;
        runUntil(std::min(end, clock.now().addSecs(uni(60, 6 * 3600))));
        --m_boxDepth;
    }

    QDateTime nextInteresting(const QDateTime& limit)
    {
        const QDateTime now = clock.now();
        QDateTime x = limit;
        if (!m_world.empty())
            x = std::min(x, m_world.begin()->first);
        if (m_boxDepth == 0 && !m_user.empty())
            x = std::min(x, m_user.begin()->first);
        for (const Proc& p : m_procs)
            x = std::min(x, p.endAt);
        // Ticks go on for a while after a launch: the start comes with the first one after it.
        for (; m_hint < m_hints.size() && m_hints[m_hint] <= now; ++m_hint)
            busy();
        if (m_hint < m_hints.size())
            x = std::min(x, m_hints[m_hint]);
        // The program's own next launch, in case it differs from the world's.
        if (todo.nextEventTime < 1000000) {
            if (const QDateTime own = Oracle::firstInstantAfter(todo.nextEventTime, now); own > now)
                x = std::min(x, own);
        }
        return x;
    }

    // What the viewer and the machine did up to now, in order.
    void worldUntilNow()
    {
        while (!m_world.empty() && m_world.begin()->first <= clock.now()) {
            auto fn = std::move(m_world.begin()->second);
            m_world.erase(m_world.begin());
            fn();
            busy();
        }
        for (qsizetype i = 0; i < m_procs.size();) {
            if (m_procs[i].endAt <= clock.now())
                ended(m_procs.takeAt(i));
            else
                ++i;
        }
    }

    void runUntil(const QDateTime& limit)
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
            // A timer that fell due while the machine slept fires at once on waking.
            if (clock.now() >= m_nextTick) {
                if (timer.isActive()) {
                    ++count["ticks"];
                    // The lock is held in simulated time; a real wait would only cost run time.
                    if (m_locked)
                        db.setBusyTimeout(20);
                    scheduler.tick();
                }
                m_nextTick = clock.now().addMSecs(500);
                // The tick may have slept: what happened meanwhile comes next, then a tick.
                const QDateTime woke = clock.now();
                worldUntilNow();
                if (clock.now() != woke) {
                    m_nextTick = clock.now();
                    continue;
                }
            }
            // One at a time: the user's doing may move the clock (a StandBy).
            if (m_boxDepth == 0 && !m_user.empty() && m_user.begin()->first <= clock.now()) {
                auto fn = std::move(m_user.begin()->second);
                m_user.erase(m_user.begin());
                fn();
                busy();
            }
            // Boxes that do not wait are answered some time later, hours at most.
            for (; m_postedSeen < prompter.open.size(); ++m_postedSeen) {
                m_user.emplace(clock.now().addSecs(uni(60, 8 * 3600)), [this] {
                    count["answered later"] += prompter.answerOpen();
                    --m_postedSeen;
                });
            }
        }
    }

    std::mt19937 m_rng{20270101u};
    QSqlDatabase m_viewerDb;
    Queue m_world; // the viewer, the machine, the program's own timers
    Queue m_user;  // the user's buttons and boxes: not while a box is open
    std::vector<QDateTime> m_hints;
    size_t m_hint = 0;
    QDateTime m_nextTick, m_busyUntil;
    int m_boxDepth = 0;
    qsizetype m_postedSeen = 0;
    bool m_locked = false;
    int m_nextId = 1;
    QSet<QString> m_launchMinutes;
    QList<Proc> m_procs;
    qint64 m_nextPid = 5000;
    bool m_held = false;
};

std::optional<StartedProcess> Year::start(const QString& program, const QStringList& args,
                                          const QString&, QString*)
{
    Proc p = started(program, args);
    p.info.pid = p.info.startTime = quint64(m_nextPid++);
    m_procs.append(p);
    return StartedProcess{p.info.pid, p.info.startTime};
}

QString figures(const QMap<QString, int>& map)
{
    QStringList out;
    for (auto it = map.begin(); it != map.end(); ++it)
        out << it.key() + ' ' + QString::number(it.value());
    return out.join(QStringLiteral(", "));
}

} // namespace

class TestSimulatedYear : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every due entry starts once, in time, with its command line; nothing else starts.
    void year()
    {
        // The year's clock changes are Europe/Berlin's.
        QCOMPARE(QTimeZone::systemTimeZone().id(), QByteArray("Europe/Berlin"));
        QElapsedTimer took;
        took.start();
        Year y;
        y.run();
        const QMap<QString, int>& f = y.oracle.figures;
        qInfo().noquote() << "simulated year:" << figures(f);
        qInfo().noquote() << "  world:" << figures(y.count) << "run time"
                          << double(took.elapsed() / 100) / 10 << "s";
        for (const QString& p : y.oracle.problems)
            qInfo().noquote() << "  " + p;

        QVERIFY(f["due"] > 150);
        for (const QString& fault : kFaults)
            QVERIFY2(f[fault] == 0, qPrintable(fault));
        for (const char* never : {"boxes in a tick", "program ends", "power-offs"})
            QVERIFY2(y.count.value(never) == 0, never);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedYear)
#include "tst_simulatedyear.moc"
