// The load handler, the database path resolution, the close handler and the bell of a second
// start, driven through the platform seams against real files in a temporary folder.

#include "activitylist.h"
#include "appstate.h"
#include "eventlog.h"
#include "fakes.h"
#include "instancebell.h"
#include "startup.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dorvel;
using namespace Qt::StringLiterals;
using namespace dorvel::test;

namespace {

const QString kAbsent = u"<absent>"_s;
QString g_appFolder;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One start-up with everything it touches; English unless a test says otherwise.
struct Rig {
    explicit Rig(const QString& dbPath = {}, const QStringList& args = {},
                 const QString& programFolder = g_appFolder)
        : log(clock, state.settings),
          startup({state, store, prompter, view, clock, todo, activity, db, log, timer,
                   CommandLine(args), programFolder},
                  {[] { return false; }, [this] { return lockProblem; },
                   [this] { ++afterRecordingChecks; }, [this] { ++loads; }, [] {},
                   [this](int status) { exitStatus = status; }})
    {
        store.setOwn(u"Language"_s, u"eng"_s);
        if (!dbPath.isEmpty())
            store.setOwn(u"OrbivuDBPath"_s, dbPath);
    }
    bool load()
    {
        const bool ok = startup.loadMainWindow();
        // A fatal path must end the process, and only a fatal path does.
        if (ok != (exitStatus == -1))
            qFatal("load result and process end disagree");
        return ok;
    }

    AppState state;
    MemorySettingsStore store;
    FakePrompter prompter;
    FakeView view;
    FakeClock clock;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{u"startup-test"_s};
    EventLog log;
    FakeTimer timer;
    Startup startup;
    QString lockProblem;
    int exitStatus = -1;
    int afterRecordingChecks = 0;
    int loads = 0;
};

struct Power {
    QString type;
    QStringList args;
    bool wakeTool;
    QString label;
    bool noShutDownEnabled;
    bool goTimerEnabled;
    bool minimized = false;
    bool wakeToolMode = false;
};

struct Close {
    QString type;
    int count;
    bool ask;
    bool cancel;
    bool ticking; // before the request
    bool minimized;
    QSize size;
    bool asks;
    bool closes;
};

} // namespace

Q_DECLARE_METATYPE(Power)
Q_DECLARE_METATYPE(Close)

class TestStartup : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    int m_folders = 0;

    // A fresh viewer folder for every call, also within one data-driven test.
    ViewerFolder viewer()
    {
        return ViewerFolder::create(m_home.filePath(u"tv%1"_s.arg(++m_folders)));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_STATE_HOME", m_home.filePath(u"state"_s).toUtf8());
        g_appFolder = m_home.filePath(u"app"_s);
        QDir().mkpath(g_appFolder);
    }

    // Stored layout reaches the window, unusable values as their defaults; a reload keeps the
    // window where the user put it.
    void loadAndReload()
    {
        const ViewerFolder v = viewer();
        Rig rig(v.db);
        rig.store.setOwn(u"HSize"_s, u"99999"_s);
        rig.store.setOwn(u"MyFormatStr"_s, u"120;10;x;30"_s);
        QVERIFY(rig.load());
        QCOMPARE(rig.state.recordDirectory, u"/tmp/rec/"_s);
        QCOMPARE(rig.view.geometry.width, 15000);
        QCOMPARE(rig.view.splitRatio, 0.95);
        QCOMPARE(rig.todo.savedWidths,
                 (std::array<qint16, 8>{600, 2600, 2500, 2500, 3000, 3000, 1500, 1500}));
        QCOMPARE(rig.afterRecordingChecks, 1);
        QCOMPARE(rig.loads, 1);
        // The options a new user starts with (nothing of them stored).
        const Settings& o = rig.state.settings;
        QCOMPARE(
            (QList<bool>{o.useShortdesc, o.ignoreOverlap, o.startPendingRecord, o.saveLog,
                         o.recDelay, o.streamonly, o.autoRun, o.askForClose, o.autoClose,
                         o.waitForClose, o.suspendCheck}),
            (QList<bool>{true, false, true, false, true, true, false, true, false, false, false}));
        QCOMPARE((QList<int>{o.recDelaySec, o.ruleMinutes}), (QList<int>{500, 60}));
        QCOMPARE(o.shutDownType, u"Never"_s);
        rig.view.placeWindow(5, 5);
        rig.state.reloadRequested = true;
        QVERIFY(rig.load());
        QCOMPARE(rig.view.geometry.left, 5);
        QVERIFY(!rig.state.reloadRequested);
    }

    // The first start guesses the channel editor's path or <home>/Orbivu/DATABASE/Orbivu.mdb;
    // a start that did not get through leaves TestPath, and the next one asks at once.
    void databasePath_data()
    {
        QTest::addColumn<bool>("editorKey");
        QTest::addColumn<bool>("testPathSet");
        QTest::addColumn<bool>("guessExists");
        QTest::addColumn<QString>("answer"); // below the viewer root; null: no dialog expected
        QTest::addColumn<bool>("started");
        const QString cancel = u"<cancel>"_s;
        QTest::addRow("default guess") << false << false << true << QString() << true;
        QTest::addRow("channel editor key") << true << false << true << QString() << true;
        QTest::addRow("guess missing, cancelled") << false << false << false << cancel << false;
        QTest::addRow("earlier start failed, cancelled")
            << false << true << true << cancel << false;
        QTest::addRow("chosen") << false << true << true << u"DATABASE/Orbivu.mdb"_s << true;
        QTest::addRow("any case") << false << true << true << u"DATABASE/my.ORBIVU.MDB"_s << true;
        QTest::addRow("other name") << false << true << true << u"DATABASE/other.mdb"_s << false;
        QTest::addRow("missing") << false << true << true << u"DATABASE/gone-orbivu.mdb"_s << false;
    }
    void databasePath()
    {
        QFETCH(bool, editorKey);
        QFETCH(bool, testPathSet);
        QFETCH(bool, guessExists);
        QFETCH(QString, answer);
        QFETCH(bool, started);
        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        const auto restore = qScopeGuard([&] { qputenv("HOME", m_home.path().toUtf8()); });
        const QString folder = home.filePath(editorKey ? u"elsewhere/tv"_s : u"Orbivu"_s);
        ViewerFolder v = ViewerFolder::create(folder);
        if (!editorKey) {
            QDir(folder).rename(u"Database"_s, u"DATABASE"_s);
            v.db = folder + u"/DATABASE/Orbivu.mdb"_s;
            QFile::copy(v.db, v.root + u"DATABASE/my.ORBIVU.MDB"_s);
            QFile::copy(v.db, v.root + u"DATABASE/other.mdb"_s);
        }
        if (!guessExists)
            QFile::remove(v.db);
        Rig rig;
        if (editorKey)
            rig.store.save(u"OrbivuCHedit"_s, u"Startup"_s, u"OrbivuPath"_s, v.db);
        if (testPathSet)
            rig.store.setOwn(u"TestPath"_s, u"1"_s);
        if (answer == u"<cancel>"_s)
            rig.prompter.fileAnswers.enqueue(std::nullopt);
        else if (!answer.isNull())
            rig.prompter.fileAnswers.enqueue(v.root + answer);

        QCOMPARE(rig.load(), started);
        QCOMPARE(rig.prompter.fileDialogs.size(), answer.isNull() ? 0 : 1);
        QCOMPARE(rig.prompter.texts(),
                 started ? QStringList() : QStringList{u"No Database found"_s});
        const QString chosen = answer.isNull() ? v.db : v.root + answer;
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), started ? chosen : kAbsent);
        QCOMPARE(rig.store.own(u"TestPath"_s), started ? kAbsent : u"1"_s);
    }

    // A start that cannot go on says why and ends with status 1. It forgets the stored
    // database path only when the path is at fault, and never changes the file it looked at.
    void refusedStarts_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message"); // %1 = viewer root, %2 = the lock's problem
        QTest::addColumn<bool>("critical");
        QTest::addColumn<bool>("keepsPath");
        const QString openFailed = u"Open database failed"_s;
        const QString noExe = u"FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE"_s;
        const QString badIni = u"FATAL ERROR: cannot read %1settings.ini"_s;
        QTest::addRow("not a database") << u"garbage"_s << openFailed << true << false;
        QTest::addRow("no viewer tables") << u"foreign"_s << openFailed << true << false;
        QTest::addRow("no database folder in path")
            << u"nodbfolder"_s << u"FATAL ERROR: Orbivu.EXE not found in "_s << false << false;
        QTest::addRow("viewer missing") << u"noexe"_s << noExe << false << false;
        QTest::addRow("viewer is a link") << u"exelink"_s << noExe << false << false;
        QTest::addRow("viewer not executable") << u"exemode"_s << noExe << false << false;
        QTest::addRow("settings.ini missing")
            << u"noini"_s << u"FATAL ERROR: settings.ini not found in %1settings.ini"_s << false
            << false;
        QTest::addRow("settings.ini is a folder") << u"inidir"_s << badIni << true << true;
        QTest::addRow("settings.ini unreadable") << u"inimode"_s << badIni << true << true;
        QTest::addRow("own settings unreadable")
            << u"conf"_s << u"FATAL ERROR: cannot read /x/Dorvel.conf"_s << true << true;
        QTest::addRow("lock file cannot be made") << u"lock"_s << u"%2"_s << true << true;
    }
    void refusedStarts()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        QFETCH(bool, critical);
        QFETCH(bool, keepsPath);
        const ViewerFolder v = viewer();
        QString dbPath = v.db;
        Rig rig;
        if (breakage == u"garbage"_s) {
            QFile f(v.db);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray(4096, '\x5a'));
        } else if (breakage == u"foreign"_s) {
            QFile::remove(v.db);
            QCOMPARE(QProcess::execute(u"sqlite3"_s, {v.db, u"CREATE TABLE OTHER(X)"_s}), 0);
        } else if (breakage == u"nodbfolder"_s) {
            dbPath = v.root + u"Orbivu.mdb"_s;
            QVERIFY(QFile::rename(v.db, dbPath));
        } else if (breakage == u"noexe"_s) {
            QFile::remove(v.exe);
        } else if (breakage == u"exelink"_s) {
            QFile::rename(v.exe, v.root + u"real.exe"_s);
            QVERIFY(QFile::link(v.root + u"real.exe"_s, v.exe));
        } else if (breakage == u"exemode"_s) {
            QFile::setPermissions(v.exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        } else if (breakage == u"noini"_s) {
            QFile::remove(v.ini);
        } else if (breakage == u"inidir"_s) {
            QFile::remove(v.ini);
            QDir().mkpath(v.ini);
        } else if (breakage == u"inimode"_s) {
            if (::geteuid() == 0)
                QSKIP("root reads every file");
            QFile::setPermissions(v.ini, QFileDevice::WriteOwner);
        } else if (breakage == u"conf"_s) {
            rig.store.unreadablePath = u"/x/Dorvel.conf"_s;
        } else {
            // The real lock in a folder that does not exist.
            SingleInstance lock(m_home.filePath(u"no/such/folder/dorvel.lock"_s));
            QVERIFY(!lock.tryAcquire());
            rig.lockProblem = lock.problem();
            QVERIFY(rig.lockProblem.contains(u"no/such/folder/dorvel.lock"_s));
        }
        rig.store.setOwn(u"OrbivuDBPath"_s, dbPath);
        const QByteArray before = readFile(dbPath);

        QVERIFY(!rig.load());
        QCOMPARE(rig.exitStatus, 1);
        message.replace(u"%1"_s, v.root).replace(u"%2"_s, rig.lockProblem);
        QCOMPARE(rig.prompter.texts(), QStringList{message});
        QCOMPARE(rig.prompter.shown.first().icon == Prompter::Icon::Critical, critical);
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), keepsPath ? dbPath : kAbsent);
        QCOMPARE(rig.loads, 0);
        QCOMPARE(readFile(dbPath), before);
    }

    // Both programs start at login and the viewer holds its file locked for a while: the
    // start goes on, says so, and keeps the path; the load waits for the lock.
    void lockedDatabaseAtStart()
    {
        const ViewerFolder v = viewer();
        QProcess locker;
        locker.start(u"sqlite3"_s, {v.db});
        locker.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        QVERIFY(locker.waitForReadyRead(5000));
        Rig rig(v.db);
        QVERIFY(rig.load());
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), v.db);
        QCOMPARE(rig.loads, 1);
        QVERIFY(rig.activity.lines().last().contains(u"locked by another program"_s));
        locker.closeWriteChannel(); // the lock ends with the program
        QVERIFY(locker.waitForFinished(10000));
        QCOMPARE(rig.db.recordColumnCount(), std::optional<int>(10));
    }

    // The shutdown type, the wake-up tool and the switches set up the window and the power
    // handling. The program's own folder contains "min" and "cmos": it must never count.
    void powerSetup_data()
    {
        QTest::addColumn<Power>("p");
        const QStringList none;
        const bool y = true, n = false;
        // Type, switches, wake tool; label, NoShutDown and GoNocturo enabled, minimised, mode.
        QTest::addRow("Never") << Power{"Never", none, y, "NoShutdown", n, y};
        QTest::addRow("LastRec") << Power{"LastRec", none, y, "LastRec", y, n};
        QTest::addRow("Rule") << Power{"Rule", none, y, "ITime", y, y};
        QTest::addRow("Rule without tool") << Power{"Rule", none, n, "ITime", y, n};
        QTest::addRow("unknown type") << Power{"rule", none, y, "", n, n};
        QTest::addRow("Notmin") << Power{"Rule", {"Notmin"}, y, "ITime", y, y, y};
        QTest::addRow("MIN CMOS") << Power{"Rule", {"MIN", "CMOS"}, y, "ITime", y, y, y, y};
        QTest::addRow("cmos without tool") << Power{"Rule", {"cmos"}, n, "ITime", y, n, n, n};
    }
    void powerSetup()
    {
        QFETCH(Power, p);
        const ViewerFolder v = viewer();
        const QString folder = m_home.filePath(u"home/admin/cmos"_s);
        QDir().mkpath(folder);
        Rig rig(v.db, p.args, folder);
        rig.store.setOwn(u"ShutDownType"_s, p.type);
        if (p.wakeTool)
            rig.store.save(u"Nocturo"_s, u"StartUp"_s, u"ByteOnOff"_s, u" 2"_s);
        QVERIFY(rig.load());
        QCOMPARE(rig.view.shutdownLabel, p.label);
        QCOMPARE(rig.view.noShutDownEnabled, p.noShutDownEnabled);
        QCOMPARE(rig.view.goTimerEnabled, p.goTimerEnabled);
        QCOMPARE(rig.view.goTimerVisibleFlag, p.wakeTool);
        QCOMPARE(rig.view.wakeToolButton, p.wakeTool);
        QCOMPARE(rig.state.wakeToolPresent, p.wakeTool);
        QCOMPARE(rig.view.minimized, p.minimized);
        QCOMPARE(rig.state.wakeToolMode, p.wakeToolMode);
        QCOMPARE(rig.view.standbyLabel, p.wakeToolMode ? u"Nocturo"_s : QString());
        QCOMPARE(rig.view.goTimerChecked, p.wakeToolMode);
    }

    void closeRequest_data()
    {
        QTest::addColumn<Close>("c");
        const QSize big(7000, 4000);
        const bool y = true, n = false;
        // Type, pending, question on, Cancel, ticking, minimised, size; asks, closes.
        QTest::addRow("pending, OK") << Close{"Never", 3, y, n, y, n, big, y, y};
        QTest::addRow("pending, cancelled") << Close{"LastRec", 3, y, y, y, n, big, y, n};
        // Cancelling gives the tick back the state it had: a stopped tick stays stopped.
        QTest::addRow("cancelled, tick was stopped") << Close{"LastRec", 2, y, y, n, n, big, y, n};
        QTest::addRow("Rule never asks") << Close{"Rule", 3, y, y, y, n, big, n, y};
        QTest::addRow("nothing pending") << Close{"Never", 0, y, y, y, n, big, n, y};
        QTest::addRow("question off") << Close{"Never", 3, n, y, y, n, big, n, y};
        QTest::addRow("minimised saves nothing") << Close{"Never", 0, y, n, y, y, big, n, y};
        QTest::addRow("small window keeps sizes")
            << Close{"Never", 0, y, n, y, n, {3000, 2890}, n, y};
        QTest::addRow("just large enough") << Close{"Never", 0, y, n, y, n, {3001, 2891}, n, y};
    }
    void closeRequest()
    {
        QFETCH(Close, c);
        Rig rig;
        rig.state.msg = MessageTable::forLanguage(u"eng"_s);
        rig.state.settings.shutDownType = c.type;
        rig.state.settings.askForClose = c.ask;
        rig.state.splitRatio = 0.637;
        rig.todo.recordingCount = c.count;
        for (int col = 1; col <= 8; ++col)
            rig.todo.setColumnWidth(col, col * 100);
        rig.view.geometry = {120, 240, c.size.width(), c.size.height()};
        rig.view.minimized = c.minimized;
        rig.timer.active = c.ticking;
        if (c.cancel)
            rig.prompter.answers.enqueue(Prompter::Answer::Cancel);
        // A question left open must not hold up the recordings.
        std::optional<bool> tickingWhileAsked;
        rig.prompter.onShow = [&](const Prompter::Box&) { tickingWhileAsked = rig.timer.active; };

        QCOMPARE(rig.startup.queryCloseMainWindow(), c.closes);
        QCOMPARE(tickingWhileAsked, c.asks ? std::optional(c.ticking) : std::nullopt);
        const QString question = u"Close Dorvel (still %1 Recordings to do...)"_s.arg(c.count);
        QCOMPARE(rig.prompter.texts(), c.asks ? QStringList{question} : QStringList());
        QCOMPARE(rig.timer.active, !c.closes && c.ticking);
        QStringList stored, expected{"120", "240", "63;100;200;300;400;500;600;700;800;"};
        for (const char* key : {"HPos", "VPos", "MyFormatStr", "VSize", "HSize"})
            stored << rig.store.own(key);
        expected << (c.size.height() > 2890 ? QString::number(c.size.height()) : kAbsent)
                 << (c.size.width() > 3000 ? QString::number(c.size.width()) : kAbsent);
        QCOMPARE(stored, c.minimized ? QStringList(5, kAbsent) : expected);
    }

    // The bell by which a second start asks the running instance to show its window.
    void ring_data()
    {
        QTest::addColumn<QString>("before"); // what lies at the path before the first start
        QTest::addColumn<bool>("listening");
        QTest::addRow("running instance") << "" << true;
        QTest::addRow("nobody running") << "" << false;
        QTest::addRow("socket left by a crashed instance") << "socket" << true;
        QTest::addRow("stray file") << "file" << true;
        QTest::addRow("socket left, nobody running") << "socket" << false;
        // A path that does not fit a socket address fails plainly instead of ringing elsewhere.
        QTest::addRow("overlong path") << "long" << false;
    }
    void ring()
    {
        QFETCH(QString, before);
        QFETCH(bool, listening);
        QTemporaryDir dir;
        const QString path =
            before == "long" ? "/tmp/" + QString(200, 'b') : dir.filePath("dorvel.bell");
        if (before == "file") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (before == "socket") {
            // Bound and closed again: what a killed instance leaves behind.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            qstrncpy(a.sun_path, QFile::encodeName(path).constData(), sizeof a.sun_path);
            QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
            ::close(fd);
        }
        {
            InstanceBell bell(path);
            QSignalSpy rung(&bell, &InstanceBell::rung);
            if (before == "long")
                QVERIFY(!bell.listen());
            if (listening) {
                QVERIFY(bell.listen());
                // Only the user's own programs may ring.
                struct stat st {};
                QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
                QVERIFY(S_ISSOCK(st.st_mode));
                QCOMPARE(st.st_mode & 0777, mode_t(0600));
            }
            QCOMPARE(InstanceBell::ring(path), listening);
            QCOMPARE(rung.wait(listening ? 5000 : 100), listening);
            QCOMPARE(InstanceBell::ring(path), listening);
            QTRY_COMPARE(rung.count(), listening ? 2 : 0);
        }
        // The next start finds no socket of an instance that ended normally.
        if (listening)
            QVERIFY(!QFile::exists(path));
        QVERIFY(!InstanceBell::ring(path));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
