// The load handler, the database path resolution and the close handlers, driven through the
// platform seams against real files in a temporary folder.

#include "activitylist.h"
#include "appstate.h"
#include "eventlog.h"
#include "fakes.h"
#include "startup.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace dorvel;
using namespace dorvel::test;

namespace {

const QString kNoDatabase = QStringLiteral("No Database found");

// One start-up with everything it touches.
struct Rig {
    explicit Rig(const QStringList& args = {}, const QString& programFolder = QString())
        : log(clock, state.settings),
          startup({state, store, prompter, view, clock, todo, activity, db, log, timer,
                   CommandLine(args), programFolder},
                  {[this] { return otherInstance; }, [this] { return lockProblem; },
                   [this] { ++afterRecordingChecks; }, [this] { ++loads; }, [] {},
                   [this](int status) {
                       ++ended;
                       exitStatus = status;
                   }})
    {
        view.languageAnswer = QString();
    }
    bool load()
    {
        const bool ok = startup.loadMainWindow();
        // A fatal path must end the process, and only a fatal path does.
        if (ok != (ended == 0))
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
    ViewerDatabase db{QStringLiteral("startup-test")};
    EventLog log;
    FakeTimer timer;
    Startup startup;
    bool otherInstance = false;
    QString lockProblem;
    int exitStatus = -1;
    int afterRecordingChecks = 0;
    int loads = 0;
    int ended = 0;
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString m_appFolder;

    int m_folders = 0;

    // A fresh viewer folder for every call, also within one data-driven test.
    ViewerFolder viewer(const QString& name, int columns = 10,
                        const QByteArray& ini = "RecordDirectory=/tmp/rec\r\n")
    {
        return ViewerFolder::create(
            m_home.filePath(QStringLiteral("%1-%2").arg(name).arg(++m_folders)), columns, ini);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        // The first-start guess looks below the home folder.
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_STATE_HOME", m_home.filePath(QStringLiteral("state")).toUtf8());
        m_appFolder = m_home.filePath(QStringLiteral("app"));
        QDir().mkpath(m_appFolder);
    }

    void storedPathStartsCompletely()
    {
        const ViewerFolder v = viewer(QStringLiteral("tv/a"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("Language"), QStringLiteral("eng"));
        QVERIFY(rig.load());
        QCOMPARE(rig.state.orbivuExePath, v.root + QStringLiteral("Orbivu.EXE"));
        QCOMPARE(rig.state.recordDirectory, QStringLiteral("/tmp/rec/"));
        QCOMPARE(rig.activity.lines(), QStringList{QStringLiteral("Logfile:")});
        QCOMPARE(rig.afterRecordingChecks, 1);
        QCOMPARE(rig.loads, 1);
        QVERIFY(rig.view.trayIcon);
        QCOMPARE(rig.view.captionText, QStringLiteral("Dorvel Ver 0.36"));
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.view.languageFormShown, 0);
    }

    void firstStart_data()
    {
        QTest::addColumn<bool>("editorKey");
        QTest::addColumn<bool>("testPathSet");
        QTest::addColumn<bool>("guessExists");
        QTest::addColumn<bool>("started");
        QTest::addColumn<int>("dialogs");
        // The guess is the channel editor's path, or the default below the home folder.
        QTest::newRow("default guess exists") << false << false << true << true << 0;
        QTest::newRow("channel editor key") << true << false << true << true << 0;
        QTest::newRow("guess missing: dialog, cancelled") << false << false << false << false << 1;
        QTest::newRow("earlier first start failed: dialog at once")
            << false << true << true << false << 1;
    }
    void firstStart()
    {
        QFETCH(bool, editorKey);
        QFETCH(bool, testPathSet);
        QFETCH(bool, guessExists);
        QFETCH(bool, started);
        QFETCH(int, dialogs);

        QTemporaryDir home;
        qputenv("HOME", home.path().toUtf8());
        const QString folder = editorKey ? home.filePath(QStringLiteral("elsewhere/tv"))
                                         : home.filePath(QStringLiteral("Orbivu"));
        ViewerFolder v = ViewerFolder::create(folder);
        if (!editorKey) {
            // The default guess is <home>/Orbivu/DATABASE/Orbivu.mdb.
            QDir(folder).rename(QStringLiteral("Database"), QStringLiteral("DATABASE"));
            v.db = folder + QStringLiteral("/DATABASE/Orbivu.mdb");
        }
        if (!guessExists)
            QFile::remove(v.db);

        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("Language"), QStringLiteral("eng"));
        if (editorKey)
            rig.store.save(QStringLiteral("OrbivuCHedit"), QStringLiteral("Startup"),
                           QStringLiteral("OrbivuPath"), v.db);
        if (testPathSet)
            rig.store.setOwn(QStringLiteral("TestPath"), QStringLiteral("1"));

        QCOMPARE(rig.load(), started);
        QCOMPARE(rig.prompter.fileDialogs.size(), dialogs);
        if (started) {
            QCOMPARE(rig.store.own(QStringLiteral("OrbivuDBPath")), v.db);
            QCOMPARE(rig.store.own(QStringLiteral("TestPath")), QStringLiteral("<absent>"));
        } else {
            QCOMPARE(rig.prompter.texts(), QStringList{kNoDatabase});
            QCOMPARE(rig.store.own(QStringLiteral("OrbivuDBPath")), QStringLiteral("<absent>"));
            // A failed first start leaves the marker, so the next start asks straight away.
            QCOMPARE(rig.store.own(QStringLiteral("TestPath")), QStringLiteral("1"));
        }
        qputenv("HOME", m_home.path().toUtf8());
    }

    void dialogAnswers_data()
    {
        QTest::addColumn<QString>("answer"); // relative to the viewer root, "<cancel>", or absolute
        QTest::addColumn<bool>("started");
        QTest::newRow("chosen database") << "Database/Orbivu.mdb" << true;
        QTest::newRow("any case of the name") << "Database/my.ORBIVU.MDB" << true;
        QTest::newRow("cancelled") << "<cancel>" << false;
        QTest::newRow("other name") << "Database/other.mdb" << false;
        QTest::newRow("missing file") << "Database/gone-orbivu.mdb" << false;
        QTest::newRow("too short") << "<ab>" << false;
    }
    void dialogAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, started);
        const ViewerFolder v = viewer(QStringLiteral("dlg"));
        QFile::copy(v.db, v.root + QStringLiteral("Database/my.ORBIVU.MDB"));
        QFile::copy(v.db, v.root + QStringLiteral("Database/other.mdb"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("TestPath"), QStringLiteral("1"));
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), QString());
        if (answer == QStringLiteral("<cancel>"))
            rig.prompter.fileAnswers.enqueue(std::nullopt);
        else if (answer == QStringLiteral("<ab>"))
            rig.prompter.fileAnswers.enqueue(QStringLiteral("ab"));
        else
            rig.prompter.fileAnswers.enqueue(v.root + answer);
        QCOMPARE(rig.load(), started);
        QCOMPARE(rig.prompter.fileDialogs.size(), 1);
        QCOMPARE(rig.prompter.fileDialogs.first().at(1), QStringLiteral("Database Files (*.mdb)"));
        if (!started)
            QCOMPARE(rig.prompter.texts(), QStringList{QStringLiteral("Keine Datenbank gefunden")});
    }

    void fatalPaths_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message"); // %1 = viewer root
        QTest::addColumn<bool>("critical");
        QTest::newRow("database is a folder") << "folder"
                                              << "Open database failed" << true;
        QTest::newRow("empty file") << "empty"
                                    << "Open database failed" << true;
        QTest::newRow("not a database") << "garbage"
                                        << "Open database failed" << true;
        QTest::newRow("database without viewer tables") << "foreign"
                                                        << "Open database failed" << true;
        QTest::newRow("no database folder in path")
            << "nodbfolder"
            << "FATAL ERROR: Orbivu.EXE not found in " << false;
        QTest::newRow("viewer missing")
            << "noexe"
            << "FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE" << false;
        QTest::newRow("viewer is a link")
            << "exelink"
            << "FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE" << false;
        QTest::newRow("settings.ini missing")
            << "noini"
            << "FATAL ERROR: settings.ini not found in %1settings.ini" << false;
        QTest::newRow("viewer not executable")
            << "exemode"
            << "FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE" << false;
    }
    void fatalPaths()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        QFETCH(bool, critical);
        const ViewerFolder v = viewer(QStringLiteral("fatal/%1").arg(breakage));
        QString dbPath = v.db;
        if (breakage == QStringLiteral("folder")) {
            QFile::remove(v.db);
            QDir().mkpath(v.db);
        } else if (breakage == QStringLiteral("empty") || breakage == QStringLiteral("garbage")) {
            QFile f(v.db);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (breakage == QStringLiteral("garbage"))
                f.write(QByteArray(4096, '\x5a'));
        } else if (breakage == QStringLiteral("foreign")) {
            QFile::remove(v.db);
            QSqlDatabase d =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("foreign"));
            d.setDatabaseName(v.db);
            QVERIFY(d.open());
            QSqlQuery(d).exec(QStringLiteral("CREATE TABLE OTHER(X)"));
            d.close();
            d = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
        } else if (breakage == QStringLiteral("nodbfolder")) {
            dbPath = v.root + QStringLiteral("Orbivu.mdb");
            QVERIFY(QFile::rename(v.db, dbPath));
        } else if (breakage == QStringLiteral("noexe")) {
            QFile::remove(v.exe);
        } else if (breakage == QStringLiteral("exelink")) {
            QFile::rename(v.exe, v.root + QStringLiteral("real.exe"));
            QVERIFY(QFile::link(v.root + QStringLiteral("real.exe"), v.exe));
        } else if (breakage == QStringLiteral("noini")) {
            QFile::remove(v.ini);
        } else if (breakage == QStringLiteral("exemode")) {
            QFile::setPermissions(v.exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        const QByteArray before = QFileInfo(dbPath).isFile() ? [&] {
            QFile f(dbPath);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }() : QByteArray();

        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("Language"), QStringLiteral("eng"));
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), dbPath);
        QVERIFY(!rig.load());
        QCOMPARE(rig.exitStatus, 1);
        QCOMPARE(rig.prompter.texts(),
                 QStringList{QString(message).replace(QStringLiteral("%1"), v.root)});
        QCOMPARE(rig.prompter.shown.first().icon == Prompter::Icon::Critical, critical);
        QCOMPARE(rig.store.own(QStringLiteral("OrbivuDBPath")), QStringLiteral("<absent>"));
        QCOMPARE(rig.loads, 0);
        // A failed open never changes the file it looked at.
        if (QFileInfo(dbPath).isFile()) {
            QFile f(dbPath);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
    }

    // Both programs start at login and the viewer holds its file locked for a while: the
    // start goes on, says so, and keeps the path; the load waits for the lock.
    void lockedDatabaseAtStart()
    {
        const ViewerFolder v = viewer(QStringLiteral("locked"));
        QProcess locker;
        locker.start(QStringLiteral("sqlite3"), {v.db});
        locker.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        QVERIFY(locker.waitForReadyRead(5000));
        QVERIFY(locker.readAllStandardOutput().contains("locked"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("Language"), QStringLiteral("eng"));
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        QVERIFY(rig.load());
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.store.own(QStringLiteral("OrbivuDBPath")), v.db);
        QCOMPARE(rig.loads, 1);
        QVERIFY(rig.activity.lines().last().contains(QStringLiteral("locked by another program")));
        locker.closeWriteChannel(); // the lock ends with the program
        QVERIFY(locker.waitForFinished(10000));
        QCOMPARE(rig.db.recordColumnCount(), std::optional<int>(10));
    }

    void secondInstanceEndsSilently()
    {
        Rig rig({}, m_appFolder);
        rig.otherInstance = true;
        QVERIFY(!rig.load());
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.view.languageFormShown, 0);
        QCOMPARE(rig.exitStatus, 0);
    }

    // Files that are there but cannot be read are said to be unreadable, with their path;
    // the stored database path is not at fault and stays; the start fails with status 1.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("message"); // %1 = viewer root, %2 = lock path
        QTest::newRow("lock file cannot be made") << "lock"
                                                  << "%2";
        QTest::newRow("own settings unreadable") << "conf"
                                                 << "FATAL ERROR: cannot read /x/Dorvel.conf";
        QTest::newRow("settings.ini is a folder") << "inidir"
                                                  << "FATAL ERROR: cannot read %1settings.ini";
        QTest::newRow("settings.ini without read right")
            << "inimode"
            << "FATAL ERROR: cannot read %1settings.ini";
    }
    void unreadableFiles()
    {
        QFETCH(QString, what);
        QFETCH(QString, message);
        if (what == QStringLiteral("inimode") && ::geteuid() == 0)
            QSKIP("root reads every file");
        const ViewerFolder v = viewer(QStringLiteral("unreadable"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("Language"), QStringLiteral("eng"));
        // The real lock in a folder that does not exist.
        SingleInstance lock(m_home.filePath(QStringLiteral("no/such/folder/dorvel.lock")));
        if (what == QStringLiteral("lock")) {
            QVERIFY(!lock.tryAcquire());
            rig.lockProblem = lock.problem();
            QVERIFY(rig.lockProblem.contains(QStringLiteral("no/such/folder/dorvel.lock")));
        } else if (what == QStringLiteral("conf")) {
            rig.store.unreadablePath = QStringLiteral("/x/Dorvel.conf");
        } else if (what == QStringLiteral("inidir")) {
            QFile::remove(v.ini);
            QDir().mkpath(v.ini);
        } else {
            QFile::setPermissions(v.ini, QFileDevice::WriteOwner);
        }
        QVERIFY(!rig.load());
        QCOMPARE(rig.exitStatus, 1);
        QCOMPARE(rig.prompter.texts(),
                 QStringList{QString(message)
                                 .replace(QStringLiteral("%1"), v.root)
                                 .replace(QStringLiteral("%2"), rig.lockProblem)});
        QCOMPARE(rig.prompter.shown.first().icon, Prompter::Icon::Critical);
        QCOMPARE(rig.store.own(QStringLiteral("OrbivuDBPath")), v.db);
        QCOMPARE(rig.loads, 0);
        // Nothing was written before the failure was found.
        if (what != QStringLiteral("inidir") && what != QStringLiteral("inimode"))
            QCOMPARE(rig.view.languageFormShown, 0);
    }

    // With SaveLog off nothing of the log appears on disk, not even its folder.
    void noLogFolderWithoutSaveLog_data()
    {
        QTest::addColumn<bool>("saveLog");
        QTest::newRow("off") << false;
        QTest::newRow("on") << true;
    }
    void noLogFolderWithoutSaveLog()
    {
        QFETCH(bool, saveLog);
        QTemporaryDir state;
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
        const ViewerFolder v = viewer(QStringLiteral("nolog"));
        // The program's folder does not exist: the log would go to the state folder.
        Rig rig({}, m_home.filePath(QStringLiteral("not/a/folder")));
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("SaveLog"), saveLog ? QStringLiteral("1") : QString());
        QVERIFY(rig.load());
        QCOMPARE(QFileInfo::exists(state.path() + QStringLiteral("/Dorvel/Dorvel.log")), saveLog);
        QCOMPARE(QFileInfo::exists(state.path() + QStringLiteral("/Dorvel")), saveLog);
        qputenv("XDG_STATE_HOME", m_home.filePath(QStringLiteral("state")).toUtf8());
    }

    // Logout or shutdown keeps the layout without asking, then ends.
    void terminationKeepsTheLayout()
    {
        Rig rig({}, m_appFolder);
        rig.state.settings.shutDownType = QStringLiteral("Never");
        rig.todo.recordingCount = 2;
        rig.state.splitRatio = 0.3;
        rig.view.geometry = {10, 20, 9000, 5000};
        rig.timer.active = true;
        rig.startup.terminate();
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.exitStatus, 0);
        QVERIFY(!rig.timer.active);
        QCOMPARE(rig.store.own(QStringLiteral("HSize")), QStringLiteral("9000"));
        QVERIFY(rig.store.own(QStringLiteral("MyFormatStr")).startsWith(QStringLiteral("30;")));
    }

    void language_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("formShown");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("eng") << "eng"
                             << "" << false << "StartOrbivu"
                             << "eng";
        QTest::newRow("ENG is not English") << "ENG"
                                            << "" << false << "Orbivu starten"
                                            << "ENG";
        QTest::newRow("deu") << "deu"
                             << "" << false << "Orbivu starten"
                             << "deu";
        QTest::newRow("first start, English chosen") << ""
                                                     << "eng" << true << "StartOrbivu"
                                                     << "eng";
        QTest::newRow("first start, form closed") << ""
                                                  << "" << true << "Orbivu starten"
                                                  << "<absent>";
    }
    void language()
    {
        QFETCH(QString, stored);
        QFETCH(QString, chosen);
        QFETCH(bool, formShown);
        QFETCH(QString, firstCaption);
        QFETCH(QString, storedAfter);
        const ViewerFolder v = viewer(QStringLiteral("lang"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        if (!stored.isEmpty())
            rig.store.setOwn(QStringLiteral("Language"), stored);
        rig.view.languageAnswer = chosen;
        QVERIFY(rig.load());
        QCOMPARE(rig.view.languageFormShown, formShown ? 1 : 0);
        QCOMPARE(rig.view.buttonCaptions.value(0), firstCaption);
        QCOMPARE(rig.store.own(QStringLiteral("Language")), storedAfter);
        if (chosen == QStringLiteral("eng"))
            QCOMPARE(rig.view.buttonCaptions,
                     (QStringList{QStringLiteral("StartOrbivu"), QStringLiteral("Get Recordings"),
                                  QStringLiteral("Settings"), QStringLiteral("Del. Select")}));
    }

    void settingsAndShutdownType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("wakeTool");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("noShutDownEnabled");
        QTest::addColumn<bool>("goTimerEnabled");
        QTest::newRow("Never") << "Never" << true << "NoShutdown" << false << true;
        QTest::newRow("LastRec") << "LastRec" << true << "LastRec" << true << false;
        QTest::newRow("Rule") << "Rule" << true << "ITime" << true << true;
        QTest::newRow("Rule without tool") << "Rule" << false << "ITime" << true << false;
        QTest::newRow("unknown type") << "rule" << true << "" << false << false;
    }
    void settingsAndShutdownType()
    {
        QFETCH(QString, type);
        QFETCH(bool, wakeTool);
        QFETCH(QString, label);
        QFETCH(bool, noShutDownEnabled);
        QFETCH(bool, goTimerEnabled);
        const ViewerFolder v = viewer(QStringLiteral("types"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("ShutDownType"), type);
        rig.store.setOwn(QStringLiteral("SuspendCheck"), QStringLiteral("-1"));
        rig.store.setOwn(QStringLiteral("RecDelaySec"), QStringLiteral("  750ms"));
        if (wakeTool)
            rig.store.save(QStringLiteral("Nocturo"), QStringLiteral("StartUp"),
                           QStringLiteral("ByteOnOff"), QStringLiteral("1"));
        QVERIFY(rig.load());
        QCOMPARE(rig.view.shutdownLabel, label);
        QCOMPARE(rig.view.noShutDownEnabled, noShutDownEnabled);
        QCOMPARE(rig.view.goTimerEnabled, goTimerEnabled);
        QCOMPARE(rig.view.goTimerVisibleFlag, wakeTool);
        QCOMPARE(rig.view.wakeToolButton, wakeTool);
        QCOMPARE(rig.state.wakeToolPresent, wakeTool);
        QVERIFY(!rig.view.standbyButton); // -1 is not a true flag
        QCOMPARE(rig.state.settings.recDelaySec, qint16(750));
        QCOMPARE(rig.state.settings.shutDownType, type);
    }

    void switches_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("wakeTool");
        QTest::addColumn<bool>("minimized");
        QTest::addColumn<bool>("wakeToolMode");
        QTest::newRow("none") << QStringList{} << true << false << false;
        QTest::newRow("min") << QStringList{QStringLiteral("min")} << true << true << false;
        QTest::newRow("Notmin counts")
            << QStringList{QStringLiteral("Notmin")} << true << true << false;
        QTest::newRow("MIN CMOS") << QStringList{QStringLiteral("MIN"), QStringLiteral("CMOS")}
                                  << true << true << true;
        QTest::newRow("cmos without tool")
            << QStringList{QStringLiteral("cmos")} << false << false << false;
        QTest::newRow("platform option")
            << QStringList{QStringLiteral("--simulate-power")} << true << false << false;
    }
    void switches()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, wakeTool);
        QFETCH(bool, minimized);
        QFETCH(bool, wakeToolMode);
        const ViewerFolder v = viewer(QStringLiteral("switches"));
        // The program's own folder contains "min" and "cmos": it must never count.
        const QString folder = m_home.filePath(QStringLiteral("home/admin/cmos"));
        QDir().mkpath(folder);
        Rig rig(args, folder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("ShutDownType"), QStringLiteral("Rule"));
        rig.store.setOwn(QStringLiteral("SaveLog"), QStringLiteral("1"));
        if (wakeTool)
            rig.store.save(QStringLiteral("Nocturo"), QStringLiteral("StartUp"),
                           QStringLiteral("ByteOnOff"), QStringLiteral(" 2"));
        QVERIFY(rig.load());
        QCOMPARE(rig.view.minimized, minimized);
        QCOMPARE(rig.state.wakeToolMode, wakeToolMode);
        QCOMPARE(rig.view.standbyLabel, wakeToolMode ? QStringLiteral("Nocturo") : QString());
        QCOMPARE(rig.view.goTimerChecked, wakeToolMode);
        QFile log(folder + QStringLiteral("/Dorvel.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("    Dorvel Log File started\n"));
        QCOMPARE(text.contains("   Dorvel started with Nocturo=on\n"), wakeToolMode);
        log.remove();
    }

    void reloadKeepsPositionAndFolder()
    {
        const ViewerFolder v = viewer(QStringLiteral("reload"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        QVERIFY(rig.load());
        QCOMPARE(rig.view.placed, 1);
        QVERIFY(rig.state.firstPaint);
        rig.state.firstPaint = false;
        rig.state.reloadRequested = true;
        rig.state.orbivuState = 2;
        QVERIFY(rig.load());
        QCOMPARE(rig.view.placed, 1);
        QVERIFY(!rig.state.firstPaint);
        QVERIFY(!rig.state.reloadRequested);
        QCOMPARE(rig.state.orbivuState, 0);
        QCOMPARE(rig.state.appPath, m_appFolder);
    }

    void closeRequest_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("ask");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<bool>("minimized");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("questionShown");
        QTest::addColumn<bool>("closes");
        QTest::newRow("pending, OK")
            << "Never" << 3 << true << false << false << 4000 << 7000 << true << true;
        QTest::newRow("pending, cancelled")
            << "LastRec" << 3 << true << true << false << 4000 << 7000 << true << false;
        QTest::newRow("Rule never asks")
            << "Rule" << 3 << true << true << false << 4000 << 7000 << false << true;
        QTest::newRow("nothing pending")
            << "Never" << 0 << true << true << false << 4000 << 7000 << false << true;
        QTest::newRow("question off")
            << "Never" << 3 << false << true << false << 4000 << 7000 << false << true;
        QTest::newRow("minimised saves nothing")
            << "Never" << 0 << true << false << true << 4000 << 7000 << false << true;
        QTest::newRow("small window keeps sizes")
            << "Never" << 0 << true << false << false << 2890 << 3000 << false << true;
        QTest::newRow("just large enough")
            << "Never" << 0 << true << false << false << 2891 << 3001 << false << true;
    }
    void closeRequest()
    {
        QFETCH(QString, type);
        QFETCH(int, count);
        QFETCH(bool, ask);
        QFETCH(bool, cancel);
        QFETCH(bool, minimized);
        QFETCH(int, height);
        QFETCH(int, width);
        QFETCH(bool, questionShown);
        QFETCH(bool, closes);
        Rig rig({}, m_appFolder);
        rig.state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        rig.state.settings.shutDownType = type;
        rig.state.settings.askForClose = ask;
        rig.state.splitRatio = 0.637;
        rig.todo.recordingCount = count;
        for (int c = 1; c <= 8; ++c)
            rig.todo.setColumnWidth(c, c * 100);
        rig.view.geometry = {120, 240, width, height};
        rig.view.minimized = minimized;
        rig.timer.active = true;
        if (cancel)
            rig.prompter.answers.enqueue(Prompter::Answer::Cancel);

        QCOMPARE(rig.startup.queryCloseMainWindow(), closes);
        QCOMPARE(rig.prompter.shown.size(), questionShown ? 1 : 0);
        if (questionShown)
            QCOMPARE(rig.prompter.shown.first().text,
                     QStringLiteral("Close Dorvel (still 3 Recordings to do...)"));
        QCOMPARE(rig.timer.active, !closes);
        const QString absent = QStringLiteral("<absent>");
        QCOMPARE(rig.store.own(QStringLiteral("HPos")), minimized ? absent : QStringLiteral("120"));
        QCOMPARE(rig.store.own(QStringLiteral("VPos")), minimized ? absent : QStringLiteral("240"));
        QCOMPARE(rig.store.own(QStringLiteral("MyFormatStr")),
                 minimized ? absent : QStringLiteral("63;100;200;300;400;500;600;700;800;"));
        QCOMPARE(rig.store.own(QStringLiteral("VSize")),
                 (!minimized && height > 2890) ? QString::number(height) : absent);
        QCOMPARE(rig.store.own(QStringLiteral("HSize")),
                 (!minimized && width > 3000) ? QString::number(width) : absent);
    }

    // Cancelling the question gives the tick back the state it had: a tick stopped by a
    // failed load or an overlap stays stopped.
    void cancelledCloseRestoresTheTick_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("running") << true;
        QTest::newRow("stopped by the loader") << false;
    }
    void cancelledCloseRestoresTheTick()
    {
        QFETCH(bool, running);
        Rig rig({}, m_appFolder);
        rig.state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        rig.state.settings.shutDownType = QStringLiteral("LastRec");
        rig.state.settings.askForClose = true;
        rig.todo.recordingCount = 2;
        rig.timer.active = running;
        rig.prompter.answers.enqueue(Prompter::Answer::Cancel);
        QVERIFY(!rig.startup.queryCloseMainWindow());
        QCOMPARE(rig.prompter.shown.size(), 1);
        QCOMPARE(rig.timer.active, running);
    }

    void unloadEndsTheProcess()
    {
        Rig rig({}, m_appFolder);
        rig.view.trayIcon = true;
        rig.timer.active = true;
        rig.state.reloadRequested = true;
        rig.startup.unloadMainWindow();
        QCOMPARE(rig.ended, 1);
        QVERIFY(!rig.view.trayIcon);
        QVERIFY(!rig.timer.active);
        QVERIFY(!rig.state.reloadRequested);
    }

    // With nothing stored but the database, every setting is its default (an empty store
    // for the database path and TestPath: firstStart).
    void defaultsOfAnEmptyStore_data()
    {
        QTest::addColumn<QString>("live");
        QTest::addColumn<QString>("value");
        const ViewerFolder v = viewer(QStringLiteral("defaults"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        QVERIFY(rig.load());
        const Settings& s = rig.state.settings;
        const FakeView::Geometry& g = rig.view.geometry;
        auto row = [](const char* key, const QString& live, const char* value) {
            QTest::newRow(key) << live << QString::fromUtf8(value);
        };
        auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
        auto number = [](int n) { return QString::number(n); };
        std::array<int, 8> widths{};
        std::copy(rig.todo.savedWidths.begin(), rig.todo.savedWidths.end(), widths.begin());
        row("Language", s.language, "");
        row("UseShortdesc", flag(s.useShortdesc), "1");
        row("IgnoreOverlap", flag(s.ignoreOverlap), "0");
        row("StartPendingRecord", flag(s.startPendingRecord), "1");
        row("SaveLog", flag(s.saveLog), "0");
        row("RecDelay", flag(s.recDelay), "1");
        row("RecDelaySec", number(s.recDelaySec), "500");
        row("Streamonly", flag(s.streamonly), "1");
        row("AutoRun", flag(s.autoRun), "0");
        row("AskForClose", flag(s.askForClose), "1");
        row("AutoClose", flag(s.autoClose), "0");
        row("WaitForClose", flag(s.waitForClose), "0");
        row("WaitForProg", s.waitForProg, "TMPGenc.exe");
        row("SuspendCheck", flag(s.suspendCheck), "0");
        row("ShutDownType", s.shutDownType, "Never");
        row("RuleMinutes", number(s.ruleMinutes), "60");
        row("HPos", number(g.left), "1000");
        row("VPos", number(g.top), "1000");
        // Wider than the key table's 6000 x 3000 twips and its column widths, so that the
        // default date-time texts and titles are not cut.
        row("VSize", number(g.height), "9000");
        row("HSize", number(g.width), "15000");
        row("MyFormatStr", FormatStr::build(rig.state.splitRatio, widths),
            "50;600;2600;2500;2500;3000;3000;1500;1500;");
    }
    void defaultsOfAnEmptyStore()
    {
        QFETCH(QString, live);
        QTEST(live, "value");
    }

    void geometryAndFormatFromSettings()
    {
        const ViewerFolder v = viewer(QStringLiteral("geometry"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(QStringLiteral("OrbivuDBPath"), v.db);
        rig.store.setOwn(QStringLiteral("HPos"), QStringLiteral("2000"));
        rig.store.setOwn(QStringLiteral("VSize"), QStringLiteral("garbage"));
        rig.store.setOwn(QStringLiteral("HSize"), QStringLiteral("99999"));
        rig.store.setOwn(QStringLiteral("MyFormatStr"), QStringLiteral("120;10;x;30"));
        QVERIFY(rig.load());
        QCOMPARE(rig.view.geometry.left, 2000);
        QCOMPARE(rig.view.geometry.top, 1000);
        QCOMPARE(rig.view.geometry.height, 0);    // text without a number counts as 0
        QCOMPARE(rig.view.geometry.width, 15000); // beyond 16 bits: the default
        QCOMPARE(rig.state.splitRatio, 0.95);
        QCOMPARE(rig.view.splitRatio, 0.95);
        // Unusable widths fall back to the column's default, so no column is lost.
        QCOMPARE(rig.todo.savedWidths,
                 (std::array<qint16, 8>{600, 2600, 2500, 2500, 3000, 3000, 1500, 1500}));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
