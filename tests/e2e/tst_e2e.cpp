// The real dorvel from end to end. Each CTest test runs some of these functions, offscreen or
// on an X server of its own (see CMakeLists.txt).

#include "e2e.h"
#include "settingsstore.h"

#include <csignal>
#include <unistd.h>

using namespace dorvel::test;

namespace {

const QString kButton = "push button";

bool keys(const QStringList& names)
{
    return xdo(QStringList{"key", "--delay", "60"} + names);
}

// Selects the focused field's text and types over it.
bool typeOver(const QString& text)
{
    return keys({"ctrl+a"}) && xdo({"type", "--delay", "60", text});
}

QString windowNamed(const QString& pattern, int ms = 15000)
{
    const auto out = tool("xdotool", {"search", "--sync", "--onlyvisible", "--name", pattern}, ms);
    return out ? QString::fromLatin1(*out).section('\n', 0, 0).trimmed() : QString();
}

} // namespace

class TestE2E : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsOnceAndRemembersTheDatabase()
    {
        Sandbox box({}, true);
        QVERIFY(box.ok);
        Dorvel first(box);
        QVERIFY(first.waitFor("Recordings added to ToDo list", 20000));
        QVERIFY(
            poll([&] { return readFile(box.logFile()).contains("    Dorvel Log File started\n"); },
                 5000));

        // The keys a successful start leaves behind, read before any other settings here.
        qputenv("XDG_CONFIG_HOME", box.env.value("XDG_CONFIG_HOME").toUtf8());
        dorvel::QtSettingsStore store;
        auto own = [&](const char* key) {
            return store.get("Dorvel", "Startup", QString::fromLatin1(key), "<absent>");
        };
        QCOMPARE(own("OrbivuDBPath"), box.database());
        QCOMPARE(own("TestPath"), "<absent>");

        // A second start ends silently at once; the first keeps running.
        Dorvel second(box);
        QVERIFY(second.ends(15000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.out, QByteArray());
        QCOMPARE(first.state(), QProcess::Running);

        // A crash leaves the lock behind; the next start must not be blocked by it.
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(5000));
        Dorvel third(box);
        QVERIFY2(third.waitFor("Recordings added to ToDo list", 20000), third.out);

        // Termination ends it cleanly, without questions, and keeps the layout as a close would.
        QCOMPARE(own("HSize"), "<absent>");
        QVERIFY(third.stop());
        QCOMPARE(third.exitCode(), 0);
        QVERIFY(own("HSize").toInt() > 3000);
        QVERIFY(own("VSize").toInt() > 2890);
        QCOMPARE(own("MyFormatStr").count(QLatin1Char(';')), 9);
        // Starting twice writes the header only once.
        QCOMPARE(readFile(box.logFile()).count("Dorvel Log File started"), 1);
        qunsetenv("XDG_CONFIG_HOME");
    }

    // Without a display nobody can answer a box: the text goes to standard error and a
    // fatal start ends with a non-zero status instead of waiting for ever.
    void fatalStartWithoutDisplay_data()
    {
        QTest::addColumn<bool>("noViewer");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no viewer") << true << QByteArray("FATAL ERROR: Orbivu.EXE not found in ");
        QTest::newRow("first start, no language")
            << false << QByteArray("no display to ask for the language");
    }
    void fatalStartWithoutDisplay()
    {
        QFETCH(bool, noViewer);
        QFETCH(QByteArray, message);
        Sandbox box({}, true);
        QVERIFY(box.ok);
        if (noViewer)
            QVERIFY(QFile::remove(box.viewer()));
        else
            box.setOwn("Language", QString());
        box.env.remove("QT_QPA_PLATFORM");
        box.env.remove("WAYLAND_DISPLAY");
        Dorvel p(box);
        QVERIFY(p.ends(30000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(p.out.contains(message), p.out);
    }

    // A viewer the user started is asked to close shortly before the launch, the entry starts
    // with its exact command line and leaves the database, its file does not overwrite older
    // ones; after the last recording the countdown runs out, the power-off is requested
    // (simulated here) and the program ends.
    void recordsOnTimeThenPowersOff()
    {
        Sandbox box({{"AutoClose", "1"}, {"ShutDownType", "LastRec"}});
        QVERIFY(box.ok);
        const QString recordings = box.root + "/recordings/";
        for (const char* taken : {"Tagesschau.ts", "Tagesschau_1.ts"}) {
            QFile f(recordings + QLatin1String(taken));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QDateTime start = Sandbox::firstLaunch();
        QVERIFY(box.addEntry(1, start, start.addSecs(60), "Tagesschau"));
        QProcess userViewer;
        QVERIFY(box.startUserViewer(userViewer));

        Dorvel dorvel(box);
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));
        // Closed by the request, not before the 47 s window opened.
        QVERIFY(userViewer.waitForFinished(msUntil(start) + 5000));
        QVERIFY(QDateTime::currentDateTime() >= start.addSecs(-48));

        const QByteArray expected = "  " + box.viewer().toUtf8() +
                                    " /close /priority=high /streamonly /tray /delay=500 "
                                    "/record=1 /channel=1 /file=Tagesschau_2\n";
        QVERIFY2(box.waitForLog(expected, start, 30000), readFile(box.logFile()));
        QVERIFY(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", 5000));
        QTRY_COMPARE_WITH_TIMEOUT(box.recordsTitled("Tagesschau"), 0, 5000);
        // The started entry's line in the log is written no earlier than its launch time.
        QByteArray log = readFile(box.logFile());
        const QByteArray at = log.mid(log.indexOf(expected) - 19, 19);
        QVERIFY2(QDateTime::fromString(QString::fromLatin1(at), "yyyy-MM-dd HH:mm:ss") >= start,
                 at);

        // The stand-in records one minute (two seconds here), then ends: the recording is over.
        QVERIFY(dorvel.waitFor("   Stop Rec", 30000));
        const QFile recorded(recordings + "Tagesschau_2.ts");
        QVERIFY(recorded.size() > 0);
        QCOMPARE(recorded.size() % 188, 0);
        QCOMPARE(QFileInfo(recordings + "Tagesschau.ts").size(), 0);

        // Fifteen seconds of countdown, then the power-off and the end of the program.
        QVERIFY(dorvel.ends(40000));
        QVERIFY2(dorvel.out.contains("Simulated power: power-off requested"), dorvel.out);
        log = readFile(box.logFile());
        const qsizetype shutdown = log.indexOf("   Shutdown after last record\n");
        QVERIFY2(shutdown >= 0 && shutdown < log.indexOf("Simulated power: power-off requested"),
                 log);
    }

    // An unanswered box does not stop recordings: the busy warning stays open while the user's
    // viewer closes, the entry it warned of starts, its end is noticed and the next entry
    // starts on time. The recording viewer runs at normal priority although dorvel lowers its
    // own.
    void warningLeftOpen()
    {
        Sandbox box({{"AutoClose", "0"}, {"SaveLog", "1"}, {"ShutDownType", "Never"}});
        QVERIFY(box.ok);
        // A minute of the stand-in lasts ten seconds here: long enough to look at it.
        box.env.insert("ORBIVU_STANDIN_SECONDS_PER_MINUTE", "10");
        // The next entry at the earliest that does not overlap the first.
        const QDateTime start = Sandbox::firstLaunch();
        QVERIFY(box.addEntry(1, start, start.addSecs(60), "Krimi"));
        QVERIFY(box.addEntry(1, start.addSecs(120), start.addSecs(180), "Spaet"));
        QProcess userViewer;
        QVERIFY(box.startUserViewer(userViewer));

        Dorvel dorvel(box);
        QVERIFY(dorvel.waitFor(" 2 Recordings added to ToDo list", 20000));
        // The warning opens 47 s before the launch and nobody answers it.
        QVERIFY(box.waitForLog("Orbivu is running! Please close it!", start, 5000));
        userViewer.terminate();
        QVERIFY(userViewer.waitForFinished(5000));

        QVERIFY2(dorvel.waitFor("   Start Rec:  Krimi  (1 Min)", start, 10000), dorvel.out);
        const auto recording = poll(
            [&] {
                return tool("pgrep", {"-f", box.viewer() + " .*/record=1"});
            },
            5000);
        QVERIFY(recording);
        const auto niceOf = [](const QString& pid) { return tool("ps", {"-o", "ni=", "-p", pid}); };
        const auto nice = niceOf(QString::fromLatin1(recording->trimmed()));
        QVERIFY(nice);
        QCOMPARE(*nice, niceOf(QString::number(::getpid())).value_or("none"));
        QVERIFY(dorvel.waitFor("   Stop Rec", 30000));
        QVERIFY2(dorvel.waitFor("   Start Rec:  Spaet  (1 Min)", start.addSecs(120), 10000),
                 dorvel.out);
        // The viewer starts before its entry leaves the database: the delete follows the line.
        QTRY_COMPARE_WITH_TIMEOUT(box.recordsTitled("Krimi"), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(box.recordsTitled("Spaet"), 0, 5000);
        QVERIFY(dorvel.stop());
    }

    // "Rule" in wake-tool mode under --simulate-power: after the recording the wake-up tool is
    // started in its dry-run mode, so that a simulated run can neither power the machine off
    // nor arm its wake-up, and the program ends as it does after the real tool.
    void wakeToolRunsDry()
    {
        Sandbox box({{"ShutDownType", "Rule"}, {"SaveLog", "1"}});
        QVERIFY(box.ok);
        QVERIFY(QFile::copy(QStringLiteral(NOCTURO_EXE), box.appDir + "/Nocturo.exe"));
        QSettings(box.root + "/config/Nocturo/Nocturo.conf", QSettings::IniFormat)
            .setValue("StartUp/ByteOnOff", "1");
        const QDateTime start = Sandbox::firstLaunch();
        QVERIFY(box.addEntry(2, start, start.addSecs(60), "Nachrichten"));
        const QDateTime later = start.addSecs(3 * 3600);
        QVERIFY(box.addEntry(2, later, later.addSecs(600), "Spätfilm"));

        Dorvel dorvel(box, {"min", "cmos", "--simulate-power", "--mirror-activity"});
        QVERIFY2(dorvel.waitFor(" 2 Recordings added to ToDo list", 20000), dorvel.out);
        QVERIFY2(dorvel.waitFor("   Stop Rec", start, 30000), dorvel.out);
        QVERIFY(dorvel.ends(30000));

        const QByteArray log = readFile(box.logFile());
        const QByteArray wake = later.addSecs(-180).toString("yyyy-MM-dd HH:mm:ss").toUtf8();
        QVERIFY2(log.contains("   Run Nocturo with " + box.appDir.toUtf8() +
                              "/Nocturo.exe --dry-run /wakeup=" + wake + "\n"),
                 log);
        QVERIFY2(!dorvel.out.contains("Simulated power: power-off"), dorvel.out);
    }

    // Through the accessibility bus like a screen reader: the Settings button opens the
    // dialog, a recording that becomes due while it is open still starts on time, and German
    // chosen with OK takes effect at once.
    void settingsButtonSwitchesToGerman()
    {
        AtSpi a11y;
        QVERIFY2(a11y.connect(), "no accessibility bus (at-spi2-core, dbus-run-session)");
        Sandbox box({{"ShutDownType", "Never"}});
        QVERIFY(box.ok);
        box.onDisplay();
        const QDateTime start = Sandbox::firstLaunch();
        QVERIFY(box.addEntry(1, start, start.addSecs(60), "Tagesschau"));

        Dorvel dorvel(box);
        QVERIFY2(dorvel.waitFor(" 1 Recordings added to ToDo list", 30000), dorvel.out);
        const auto app = poll([&] { return a11y.application("Dorvel"); }, 20000);
        QVERIFY(app);
        const auto settings = poll([&] { return a11y.find(*app, kButton, "Settings"); }, 20000);
        QVERIFY(settings && a11y.press(*settings));
        const auto findDialog = [&]() -> std::optional<AtSpi::Node> {
            for (const AtSpi::Node& w : a11y.children(*app))
                if (a11y.name(w) == "Settings")
                    return w;
            return std::nullopt;
        };
        const auto dialog = poll(findDialog, 20000);
        QVERIFY(dialog);
        const auto german = a11y.find(*dialog, "radio button", "Deutsch");
        const auto ok = a11y.find(*dialog, kButton, "OK");
        QVERIFY(german && ok);

        // The recording starts on time with the dialog open, and ends.
        QVERIFY2(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", start, 30000), dorvel.out);
        QVERIFY2(dorvel.waitFor("   Stop Rec", 60000), dorvel.out);
        QCOMPARE(box.recordsTitled("Tagesschau"), 0);
        QVERIFY(findDialog());

        // The language is locked while the viewer runs and free again after it.
        QVERIFY(poll([&] { return a11y.hasState(*german, AtSpi::Enabled); }, 20000));
        QVERIFY(a11y.press(*german));
        QVERIFY(poll([&] { return a11y.hasState(*german, AtSpi::Checked); }, 5000));
        QVERIFY(a11y.press(*ok));

        // The load runs again: German captions on the main window.
        QVERIFY(poll([&] { return a11y.find(*app, kButton, "Einstellungen"); }, 20000));
        for (const char* caption : {"Lese Aufnahmen", "Orbivu starten"})
            QVERIFY2(a11y.find(*app, kButton, caption), caption);
        QVERIFY(!a11y.find(*app, kButton, "Settings"));
        QVERIFY(!findDialog());
        QCOMPARE(
            QSettings(box.configFile(), QSettings::IniFormat).value("Startup/Language").toString(),
            "deu");
        QVERIFY(dorvel.stop());
    }

    // With real key strokes: the button opens the form, a recording that falls due while the
    // form is open still starts, the keyboard fills the form in its order, and after OK the
    // rows are in the database and in the to-do list.
    void keyboardFillsTheFormWhileTheSchedulerRuns()
    {
        Sandbox box({{"ShutDownType", "Never"}});
        QVERIFY(box.ok);
        box.onDisplay();
        const QDateTime due = Sandbox::firstLaunch();
        QVERIFY(box.addEntry(1, due, due.addSecs(60), "Tagesschau"));

        Dorvel dorvel(box);
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));
        const QString main = windowNamed("^Dorvel Ver");
        QVERIFY(!main.isEmpty());

        // The keyboard reaches the button from the activity list, the next control in order.
        const auto geometry = tool("xdotool", {"getwindowgeometry", "--shell", main});
        QVERIFY(geometry);
        const int height = geometry->mid(geometry->indexOf("HEIGHT=") + 7).split('\n')[0].toInt();
        QVERIFY(height > 0);
        QVERIFY(
            xdo({"mousemove", "--window", main, "40", QString::number(height - 40), "click", "1"}));
        QVERIFY(keys({"Tab", "space"}));
        const QString form = windowNamed("^Add Recording$");
        QVERIFY2(!form.isEmpty(), "the form did not open");

        // The scheduler keeps going while the form is open.
        QVERIFY(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", due, 30000));
        QTRY_COMPARE_WITH_TIMEOUT(box.recordsTitled("Tagesschau"), 0, 10000);
        QVERIFY(!windowNamed("^Add Recording$", 3000).isEmpty());

        // The form's keyboard order from OK, which holds the focus: Cancel, number, name,
        // start date and time, stop date and time, once, daily, weekly, until, seven weekdays,
        // lead, trail, description.
        QVERIFY(xdo({"windowfocus", "--sync", form}));
        const QDate first = QDate::currentDate().addDays(1);
        const auto day = [&](int d) { return first.addDays(d).toString("yyyy.MM.dd"); };
        const QList<std::pair<QStringList, QString>> steps = {
            {{"Tab", "Tab", "Down"}, {}}, // channel 2
            {{"Tab", "Tab"}, day(0)},
            {{"Tab"}, "20:15"},
            {{"Tab"}, day(0)},
            {{"Tab"}, "21:00"},
            {{"Tab", "Tab", "space", "Tab", "Tab"}, day(2)}, // daily, until
            {QStringList(8, "Tab"), "1"},                    // past the seven weekdays
            {{"Tab"}, "3"},
            {{"Tab"}, "Serie E2E"},
            {{"Return"}, {}}};
        for (const auto& [names, text] : steps)
            QVERIFY2(keys(names) && (text.isEmpty() || typeOver(text)), qPrintable(text));
        // "Add 3 Recording entries", answered with OK.
        QVERIFY(!windowNamed("^Dorvel$").isEmpty());
        QVERIFY(keys({"Return"}));

        QVERIFY2(dorvel.waitFor(" 3 Recordings added to ToDo list", 20000), dorvel.out.right(2000));
        QCOMPARE(box.recordsTitled("Serie E2E"), 3);
        const auto row = [&](int d, const QString& desc) {
            return QStringList{day(d) + " 20:15", day(d) + " 21:00", desc, "1", "3", "2"}.join('|');
        };
        QCOMPARE(queryRows(box.database(),
                           "SELECT r.STARTTIME, r.ENDTIME, r.LONGDESC, r.PRERECORD, "
                           "r.POSTRECORD, c.CHANNELNUM FROM RECORD r JOIN CHANNELS c ON c.NID = "
                           "r.NID AND c.SID = r.SID AND c.SOURCEID = r.SOURCEID ORDER BY r.rowid"),
                 (QStringList{row(0, "Serie E2E"), row(1, "Daily_Serie E2E"),
                              row(2, "Daily_Serie E2E")}));
        QVERIFY(windowNamed("^Add Recording$", 2000).isEmpty());
        QVERIFY(dorvel.stop());
    }

    // A title edited in place with the mouse and the keyboard (double-click, type, Enter) is
    // the new title in the viewer's database.
    void titleEditedInPlace()
    {
        AtSpi a11y;
        QVERIFY2(a11y.connect(), "no accessibility bus (at-spi2-core, dbus-run-session)");
        Sandbox box({{"ShutDownType", "Never"}});
        QVERIFY(box.ok);
        const QDateTime start = QDateTime::currentDateTime().addDays(1);
        QVERIFY(box.addEntry(1, start, start.addSecs(3600), "Old title", 2, 2));
        box.onDisplay();

        Dorvel dorvel(box);
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));
        const auto app = poll([&] { return a11y.application("Dorvel"); }, 20000);
        QVERIFY(app);
        const auto cell = poll([&] { return a11y.find(*app, "cell", "Old title"); }, 20000);
        QVERIFY2(cell, "no title in the to-do list");
        // A viewer of another program on this machine counts as the user's viewer.
        QVERIFY2(!tool("pgrep", {"-f", "Orbivu.EXE"}), "a viewer is running: no edit box can open");

        const QPoint at = a11y.center(*cell);
        QVERIFY(xdo({"mousemove", QString::number(at.x()), QString::number(at.y()), "click",
                     "--repeat", "2", "--delay", "120", "1"}));
        QTest::qWait(500);
        QVERIFY(xdo({"key", "--delay", "50", "ctrl+a"}));
        QVERIFY(xdo({"type", "--delay", "30", "New title"}));
        QVERIFY(xdo({"key", "Return"}));

        QVERIFY2(dorvel.waitFor(":   Recordings edited", 15000), dorvel.out);
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list\n", 5000));
        QCOMPARE(box.recordsTitled("New title"), 1);
        QCOMPARE(box.recordsTitled("Old title"), 0);
        QVERIFY(dorvel.stop());
    }
};

QTEST_GUILESS_MAIN(TestE2E)
#include "tst_e2e.moc"
