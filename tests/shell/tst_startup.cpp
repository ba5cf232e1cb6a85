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
using namespace Qt::StringLiterals;
using namespace dorvel::test;

namespace {

const QString kNoDatabase = u"No Database found"_s;

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
    ViewerDatabase db{u"startup-test"_s};
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
        return ViewerFolder::create(m_home.filePath(u"%1-%2"_s.arg(name).arg(++m_folders)), columns,
                                    ini);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        // The first-start guess looks below the home folder.
        qputenv("HOME", m_home.path().toUtf8());
        qputenv("XDG_STATE_HOME", m_home.filePath(u"state"_s).toUtf8());
        m_appFolder = m_home.filePath(u"app"_s);
        QDir().mkpath(m_appFolder);
    }

    void storedPathStartsCompletely()
    {
        const ViewerFolder v = viewer(u"tv/a"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"Language"_s, u"eng"_s);
        QVERIFY(rig.load());
        QCOMPARE(rig.state.orbivuExePath, v.root + u"Orbivu.EXE"_s);
        QCOMPARE(rig.state.recordDirectory, u"/tmp/rec/"_s);
        QCOMPARE(rig.activity.lines(), QStringList{u"Logfile:"_s});
        QCOMPARE(rig.afterRecordingChecks, 1);
        QCOMPARE(rig.loads, 1);
        QVERIFY(rig.view.trayIcon);
        QCOMPARE(rig.view.captionText, u"Dorvel Ver 0.36"_s);
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
        const QString folder =
            editorKey ? home.filePath(u"elsewhere/tv"_s) : home.filePath(u"Orbivu"_s);
        ViewerFolder v = ViewerFolder::create(folder);
        if (!editorKey) {
            // The default guess is <home>/Orbivu/DATABASE/Orbivu.mdb.
            QDir(folder).rename(u"Database"_s, u"DATABASE"_s);
            v.db = folder + u"/DATABASE/Orbivu.mdb"_s;
        }
        if (!guessExists)
            QFile::remove(v.db);

        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"Language"_s, u"eng"_s);
        if (editorKey)
            rig.store.save(u"OrbivuCHedit"_s, u"Startup"_s, u"OrbivuPath"_s, v.db);
        if (testPathSet)
            rig.store.setOwn(u"TestPath"_s, u"1"_s);

        QCOMPARE(rig.load(), started);
        QCOMPARE(rig.prompter.fileDialogs.size(), dialogs);
        if (started) {
            QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), v.db);
            QCOMPARE(rig.store.own(u"TestPath"_s), u"<absent>"_s);
        } else {
            QCOMPARE(rig.prompter.texts(), QStringList{kNoDatabase});
            QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), u"<absent>"_s);
            // A failed first start leaves the marker, so the next start asks straight away.
            QCOMPARE(rig.store.own(u"TestPath"_s), u"1"_s);
        }
        qputenv("HOME", m_home.path().toUtf8());
    }

    void dialogAnswers_data()
    {
        QTest::addColumn<QString>("answer"); // relative to the viewer root, "<cancel>", or absolute
        QTest::addColumn<bool>("started");
        QTest::newRow("chosen database") << u"Database/Orbivu.mdb"_s << true;
        QTest::newRow("any case of the name") << u"Database/my.ORBIVU.MDB"_s << true;
        QTest::newRow("cancelled") << u"<cancel>"_s << false;
        QTest::newRow("other name") << u"Database/other.mdb"_s << false;
        QTest::newRow("missing file") << u"Database/gone-orbivu.mdb"_s << false;
        QTest::newRow("too short") << u"<ab>"_s << false;
    }
    void dialogAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, started);
        const ViewerFolder v = viewer(u"dlg"_s);
        QFile::copy(v.db, v.root + u"Database/my.ORBIVU.MDB"_s);
        QFile::copy(v.db, v.root + u"Database/other.mdb"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"TestPath"_s, u"1"_s);
        rig.store.setOwn(u"OrbivuDBPath"_s, QString());
        if (answer == u"<cancel>"_s)
            rig.prompter.fileAnswers.enqueue(std::nullopt);
        else if (answer == u"<ab>"_s)
            rig.prompter.fileAnswers.enqueue(u"ab"_s);
        else
            rig.prompter.fileAnswers.enqueue(v.root + answer);
        QCOMPARE(rig.load(), started);
        QCOMPARE(rig.prompter.fileDialogs.size(), 1);
        QCOMPARE(rig.prompter.fileDialogs.first().at(1), u"Database Files (*.mdb)"_s);
        if (!started)
            QCOMPARE(rig.prompter.texts(), QStringList{u"Keine Datenbank gefunden"_s});
    }

    void fatalPaths_data()
    {
        QTest::addColumn<QString>("breakage");
        QTest::addColumn<QString>("message"); // %1 = viewer root
        QTest::addColumn<bool>("critical");
        QTest::newRow("database is a folder") << u"folder"_s << u"Open database failed"_s << true;
        QTest::newRow("empty file") << u"empty"_s << u"Open database failed"_s << true;
        QTest::newRow("not a database") << u"garbage"_s << u"Open database failed"_s << true;
        QTest::newRow("database without viewer tables")
            << u"foreign"_s << u"Open database failed"_s << true;
        QTest::newRow("no database folder in path")
            << u"nodbfolder"_s << u"FATAL ERROR: Orbivu.EXE not found in "_s << false;
        QTest::newRow("viewer missing")
            << u"noexe"_s << u"FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE"_s << false;
        QTest::newRow("viewer is a link")
            << u"exelink"_s << u"FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE"_s << false;
        QTest::newRow("settings.ini missing")
            << u"noini"_s << u"FATAL ERROR: settings.ini not found in %1settings.ini"_s << false;
        QTest::newRow("viewer not executable")
            << u"exemode"_s << u"FATAL ERROR: Orbivu.EXE not found in %1Orbivu.EXE"_s << false;
    }
    void fatalPaths()
    {
        QFETCH(QString, breakage);
        QFETCH(QString, message);
        QFETCH(bool, critical);
        const ViewerFolder v = viewer(u"fatal/%1"_s.arg(breakage));
        QString dbPath = v.db;
        if (breakage == u"folder"_s) {
            QFile::remove(v.db);
            QDir().mkpath(v.db);
        } else if (breakage == u"empty"_s || breakage == u"garbage"_s) {
            QFile f(v.db);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (breakage == u"garbage"_s)
                f.write(QByteArray(4096, '\x5a'));
        } else if (breakage == u"foreign"_s) {
            QFile::remove(v.db);
            QSqlDatabase d = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"foreign"_s);
            d.setDatabaseName(v.db);
            QVERIFY(d.open());
            QSqlQuery(d).exec(u"CREATE TABLE OTHER(X)"_s);
            d.close();
            d = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"foreign"_s);
        } else if (breakage == u"nodbfolder"_s) {
            dbPath = v.root + u"Orbivu.mdb"_s;
            QVERIFY(QFile::rename(v.db, dbPath));
        } else if (breakage == u"noexe"_s) {
            QFile::remove(v.exe);
        } else if (breakage == u"exelink"_s) {
            QFile::rename(v.exe, v.root + u"real.exe"_s);
            QVERIFY(QFile::link(v.root + u"real.exe"_s, v.exe));
        } else if (breakage == u"noini"_s) {
            QFile::remove(v.ini);
        } else if (breakage == u"exemode"_s) {
            QFile::setPermissions(v.exe, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        const QByteArray before = QFileInfo(dbPath).isFile() ? [&] {
            QFile f(dbPath);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }() : QByteArray();

        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"Language"_s, u"eng"_s);
        rig.store.setOwn(u"OrbivuDBPath"_s, dbPath);
        QVERIFY(!rig.load());
        QCOMPARE(rig.exitStatus, 1);
        QCOMPARE(rig.prompter.texts(), QStringList{QString(message).replace(u"%1"_s, v.root)});
        QCOMPARE(rig.prompter.shown.first().icon == Prompter::Icon::Critical, critical);
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), u"<absent>"_s);
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
        const ViewerFolder v = viewer(u"locked"_s);
        QProcess locker;
        locker.start(u"sqlite3"_s, {v.db});
        locker.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        QVERIFY(locker.waitForReadyRead(5000));
        QVERIFY(locker.readAllStandardOutput().contains("locked"));
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"Language"_s, u"eng"_s);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        QVERIFY(rig.load());
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), v.db);
        QCOMPARE(rig.loads, 1);
        QVERIFY(rig.activity.lines().last().contains(u"locked by another program"_s));
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
        QTest::newRow("lock file cannot be made") << u"lock"_s << u"%2"_s;
        QTest::newRow("own settings unreadable")
            << u"conf"_s << u"FATAL ERROR: cannot read /x/Dorvel.conf"_s;
        QTest::newRow("settings.ini is a folder")
            << u"inidir"_s << u"FATAL ERROR: cannot read %1settings.ini"_s;
        QTest::newRow("settings.ini without read right")
            << u"inimode"_s << u"FATAL ERROR: cannot read %1settings.ini"_s;
    }
    void unreadableFiles()
    {
        QFETCH(QString, what);
        QFETCH(QString, message);
        if (what == u"inimode"_s && ::geteuid() == 0)
            QSKIP("root reads every file");
        const ViewerFolder v = viewer(u"unreadable"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"Language"_s, u"eng"_s);
        // The real lock in a folder that does not exist.
        SingleInstance lock(m_home.filePath(u"no/such/folder/dorvel.lock"_s));
        if (what == u"lock"_s) {
            QVERIFY(!lock.tryAcquire());
            rig.lockProblem = lock.problem();
            QVERIFY(rig.lockProblem.contains(u"no/such/folder/dorvel.lock"_s));
        } else if (what == u"conf"_s) {
            rig.store.unreadablePath = u"/x/Dorvel.conf"_s;
        } else if (what == u"inidir"_s) {
            QFile::remove(v.ini);
            QDir().mkpath(v.ini);
        } else {
            QFile::setPermissions(v.ini, QFileDevice::WriteOwner);
        }
        QVERIFY(!rig.load());
        QCOMPARE(rig.exitStatus, 1);
        QCOMPARE(rig.prompter.texts(),
                 QStringList{
                     QString(message).replace(u"%1"_s, v.root).replace(u"%2"_s, rig.lockProblem)});
        QCOMPARE(rig.prompter.shown.first().icon, Prompter::Icon::Critical);
        QCOMPARE(rig.store.own(u"OrbivuDBPath"_s), v.db);
        QCOMPARE(rig.loads, 0);
        // Nothing was written before the failure was found.
        if (what != u"inidir"_s && what != u"inimode"_s)
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
        const ViewerFolder v = viewer(u"nolog"_s);
        // The program's folder does not exist: the log would go to the state folder.
        Rig rig({}, m_home.filePath(u"not/a/folder"_s));
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"SaveLog"_s, saveLog ? u"1"_s : QString());
        QVERIFY(rig.load());
        QCOMPARE(QFileInfo::exists(state.path() + u"/Dorvel/Dorvel.log"_s), saveLog);
        QCOMPARE(QFileInfo::exists(state.path() + u"/Dorvel"_s), saveLog);
        qputenv("XDG_STATE_HOME", m_home.filePath(u"state"_s).toUtf8());
    }

    // Logout or shutdown keeps the layout without asking, then ends.
    void terminationKeepsTheLayout()
    {
        Rig rig({}, m_appFolder);
        rig.state.settings.shutDownType = u"Never"_s;
        rig.todo.recordingCount = 2;
        rig.state.splitRatio = 0.3;
        rig.view.geometry = {10, 20, 9000, 5000};
        rig.timer.active = true;
        rig.startup.terminate();
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.exitStatus, 0);
        QVERIFY(!rig.timer.active);
        QCOMPARE(rig.store.own(u"HSize"_s), u"9000"_s);
        QVERIFY(rig.store.own(u"MyFormatStr"_s).startsWith(u"30;"_s));
    }

    void language_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("formShown");
        QTest::addColumn<QString>("firstCaption");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("eng") << u"eng"_s << u""_s << false << u"StartOrbivu"_s << u"eng"_s;
        QTest::newRow("ENG is not English")
            << u"ENG"_s << u""_s << false << u"Orbivu starten"_s << u"ENG"_s;
        QTest::newRow("deu") << u"deu"_s << u""_s << false << u"Orbivu starten"_s << u"deu"_s;
        QTest::newRow("first start, English chosen")
            << u""_s << u"eng"_s << true << u"StartOrbivu"_s << u"eng"_s;
        QTest::newRow("first start, form closed")
            << u""_s << u""_s << true << u"Orbivu starten"_s << u"<absent>"_s;
    }
    void language()
    {
        QFETCH(QString, stored);
        QFETCH(QString, chosen);
        QFETCH(bool, formShown);
        QFETCH(QString, firstCaption);
        QFETCH(QString, storedAfter);
        const ViewerFolder v = viewer(u"lang"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        if (!stored.isEmpty())
            rig.store.setOwn(u"Language"_s, stored);
        rig.view.languageAnswer = chosen;
        QVERIFY(rig.load());
        QCOMPARE(rig.view.languageFormShown, formShown ? 1 : 0);
        QCOMPARE(rig.view.buttonCaptions.value(0), firstCaption);
        QCOMPARE(rig.store.own(u"Language"_s), storedAfter);
    }

    void settingsAndShutdownType_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("wakeTool");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("noShutDownEnabled");
        QTest::addColumn<bool>("goTimerEnabled");
        QTest::newRow("Never") << u"Never"_s << true << u"NoShutdown"_s << false << true;
        QTest::newRow("LastRec") << u"LastRec"_s << true << u"LastRec"_s << true << false;
        QTest::newRow("Rule") << u"Rule"_s << true << u"ITime"_s << true << true;
        QTest::newRow("Rule without tool") << u"Rule"_s << false << u"ITime"_s << true << false;
        QTest::newRow("unknown type") << u"rule"_s << true << u""_s << false << false;
    }
    void settingsAndShutdownType()
    {
        QFETCH(QString, type);
        QFETCH(bool, wakeTool);
        QFETCH(QString, label);
        QFETCH(bool, noShutDownEnabled);
        QFETCH(bool, goTimerEnabled);
        const ViewerFolder v = viewer(u"types"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"ShutDownType"_s, type);
        rig.store.setOwn(u"SuspendCheck"_s, u"-1"_s);
        rig.store.setOwn(u"RecDelaySec"_s, u"  750ms"_s);
        if (wakeTool)
            rig.store.save(u"Nocturo"_s, u"StartUp"_s, u"ByteOnOff"_s, u"1"_s);
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
        QTest::newRow("min") << QStringList{u"min"_s} << true << true << false;
        QTest::newRow("Notmin counts") << QStringList{u"Notmin"_s} << true << true << false;
        QTest::newRow("MIN CMOS") << QStringList{u"MIN"_s, u"CMOS"_s} << true << true << true;
        QTest::newRow("cmos without tool") << QStringList{u"cmos"_s} << false << false << false;
        QTest::newRow("platform option")
            << QStringList{u"--simulate-power"_s} << true << false << false;
    }
    void switches()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, wakeTool);
        QFETCH(bool, minimized);
        QFETCH(bool, wakeToolMode);
        const ViewerFolder v = viewer(u"switches"_s);
        // The program's own folder contains "min" and "cmos": it must never count.
        const QString folder = m_home.filePath(u"home/admin/cmos"_s);
        QDir().mkpath(folder);
        Rig rig(args, folder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"ShutDownType"_s, u"Rule"_s);
        rig.store.setOwn(u"SaveLog"_s, u"1"_s);
        if (wakeTool)
            rig.store.save(u"Nocturo"_s, u"StartUp"_s, u"ByteOnOff"_s, u" 2"_s);
        QVERIFY(rig.load());
        QCOMPARE(rig.view.minimized, minimized);
        QCOMPARE(rig.state.wakeToolMode, wakeToolMode);
        QCOMPARE(rig.view.standbyLabel, wakeToolMode ? u"Nocturo"_s : QString());
        QCOMPARE(rig.view.goTimerChecked, wakeToolMode);
        QFile log(folder + u"/Dorvel.log"_s);
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("    Dorvel Log File started\n"));
        QCOMPARE(text.contains("   Dorvel started with Nocturo=on\n"), wakeToolMode);
        log.remove();
    }

    void reloadKeepsPositionAndFolder()
    {
        const ViewerFolder v = viewer(u"reload"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
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
        QTest::addColumn<bool>("ticking"); // before the request
        QTest::newRow("pending, OK")
            << u"Never"_s << 3 << true << false << false << 4000 << 7000 << true << true << true;
        QTest::newRow("pending, cancelled")
            << u"LastRec"_s << 3 << true << true << false << 4000 << 7000 << true << false << true;
        QTest::newRow("Rule never asks")
            << u"Rule"_s << 3 << true << true << false << 4000 << 7000 << false << true << true;
        QTest::newRow("nothing pending")
            << u"Never"_s << 0 << true << true << false << 4000 << 7000 << false << true << true;
        QTest::newRow("question off")
            << u"Never"_s << 3 << false << true << false << 4000 << 7000 << false << true << true;
        QTest::newRow("minimised saves nothing")
            << u"Never"_s << 0 << true << false << true << 4000 << 7000 << false << true << true;
        QTest::newRow("small window keeps sizes")
            << u"Never"_s << 0 << true << false << false << 2890 << 3000 << false << true << true;
        QTest::newRow("just large enough")
            << u"Never"_s << 0 << true << false << false << 2891 << 3001 << false << true << true;
        // Cancelling gives the tick back the state it had: a tick stopped by a failed load or
        // an overlap stays stopped.
        QTest::newRow("cancelled, tick was stopped")
            << u"LastRec"_s << 2 << true << true << false << 4000 << 7000 << true << false << false;
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
        rig.state.msg = MessageTable::forLanguage(u"eng"_s);
        rig.state.settings.shutDownType = type;
        rig.state.settings.askForClose = ask;
        rig.state.splitRatio = 0.637;
        rig.todo.recordingCount = count;
        for (int c = 1; c <= 8; ++c)
            rig.todo.setColumnWidth(c, c * 100);
        rig.view.geometry = {120, 240, width, height};
        rig.view.minimized = minimized;
        QFETCH(bool, ticking);
        rig.timer.active = ticking;
        if (cancel)
            rig.prompter.answers.enqueue(Prompter::Answer::Cancel);

        QCOMPARE(rig.startup.queryCloseMainWindow(), closes);
        QCOMPARE(rig.prompter.shown.size(), questionShown ? 1 : 0);
        if (questionShown)
            QCOMPARE(rig.prompter.shown.first().text,
                     u"Close Dorvel (still %1 Recordings to do...)"_s.arg(count));
        QCOMPARE(rig.timer.active, !closes && ticking);
        const QString absent = u"<absent>"_s;
        QCOMPARE(rig.store.own(u"HPos"_s), minimized ? absent : u"120"_s);
        QCOMPARE(rig.store.own(u"VPos"_s), minimized ? absent : u"240"_s);
        QCOMPARE(rig.store.own(u"MyFormatStr"_s),
                 minimized ? absent : u"63;100;200;300;400;500;600;700;800;"_s);
        QCOMPARE(rig.store.own(u"VSize"_s),
                 (!minimized && height > 2890) ? QString::number(height) : absent);
        QCOMPARE(rig.store.own(u"HSize"_s),
                 (!minimized && width > 3000) ? QString::number(width) : absent);
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
        const ViewerFolder v = viewer(u"defaults"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        QVERIFY(rig.load());
        const Settings& s = rig.state.settings;
        const FakeView::Geometry& g = rig.view.geometry;
        auto row = [](const char* key, const QString& live, const char* value) {
            QTest::newRow(key) << live << QString::fromUtf8(value);
        };
        auto flag = [](bool on) { return on ? u"1"_s : u"0"_s; };
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
        const ViewerFolder v = viewer(u"geometry"_s);
        Rig rig({}, m_appFolder);
        rig.store.setOwn(u"OrbivuDBPath"_s, v.db);
        rig.store.setOwn(u"HPos"_s, u"2000"_s);
        rig.store.setOwn(u"VSize"_s, u"garbage"_s);
        rig.store.setOwn(u"HSize"_s, u"99999"_s);
        rig.store.setOwn(u"MyFormatStr"_s, u"120;10;x;30"_s);
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
