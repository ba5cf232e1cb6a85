#include "app.h"

#include "activitylist.h"
#include "addrecordingcommand.h"
#include "addrecordingdialog.h"
#include "afterrecording.h"
#include "appstate.h"
#include "clock.h"
#include "deleteselection.h"
#include "eventlog.h"
#include "instancebell.h"
#include "linux_autostart.h"
#include "linux_notifier.h"
#include "linux_processes.h"
#include "mainwindow.h"
#include "menuactions.h"
#include "options.h"
#include "power_logind.h"
#include "power_simulated.h"
#include "powerops.h"
#include "recordingsloader.h"
#include "scheduler.h"
#include "settings.h"
#include "settingsdialog.h"
#include "settingseditor.h"
#include "settingsstore.h"
#include "shutdownform.h"
#include "standarderror.h"
#include "standbycommands.h"
#include "startup.h"
#include "startviewer.h"
#include "system.h"
#include "ticktimer.h"
#include "todoedit.h"
#include "todogrid.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerprocess.h"
#include "waketoolcheck.h"
#include "widgetprompter.h"

#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace dorvel {

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

// The offscreen platform has no tray and no window stacking; its notes about that are noise.
void quietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && (text.startsWith(QLatin1String("This plugin does not support")) ||
                                 text.contains(QLatin1String("systemTrayWindowChanged"))))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runApplication(int argc, char* argv[])
{
    // Without a display the demo still runs: offscreen, with the activity list on stdout.
    const bool headless = !haveDisplay();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qInstallMessageHandler(quietOffscreenNotes);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Dorvel"));
    app.setQuitOnLastWindowClosed(false);

    QStringList args = app.arguments();
    args.removeFirst(); // the program's own path never counts as a switch
    const CommandLine commandLine(args);

    SingleInstance instance;
    const bool firstInstance = instance.tryAcquire();

    AppState state;
    QtSettingsStore store;
    SystemClock clock;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db;
    EventLog log(clock, state.settings);
    log.setMirror([](const QString& line) { writeStandardError(Severity::Info, line); });
    WidgetPrompter prompter;
    MainWindow window(todo, activity, prompter);
    prompter.setParent(&window);
    prompter.setHeadless(headless);

    // Ending the process "at once": nothing after it may run, not even pending events.
    auto endProcessWith = [&instance](int status) {
        instance.release();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(status);
    };
    auto endProcess = [endProcessWith] { endProcessWith(0); };

    // Nobody could see or answer the language form: say so where someone can read it.
    if (headless && firstInstance && ProgramSettings(store).text(keys::Language).isEmpty()) {
        std::fprintf(stderr,
                     "Dorvel: no display to ask for the language at the first start. Start "
                     "Dorvel once on the desktop, or set Language=eng or Language=deu under "
                     "[Startup] in %s\n",
                     qPrintable(store.fileName(key::App)));
        endProcessWith(1);
    }

    std::function<void()> tick = [] {};
    QtTickTimer timer([&tick] { tick(); });

    LinuxProcessTable processTable;
    LinuxProcessLauncher launcher;
    ViewerProcess viewer(processTable, launcher);
    LinuxAutostart autostart;
    // The simulation carries nothing out; each request becomes a log line and a list line.
    std::unique_ptr<Power> power;
    if (commandLine.hasOption(kSimulatePower)) {
        power = std::make_unique<SimulatedPower>([&](const QString& text) {
            log.writeLine(text);
            activity.append(formatDefault(clock.now()) + text);
        });
    } else {
        power = std::make_unique<LogindPower>(QDBusConnection::systemBus(),
                                              QDBusConnection::sessionBus());
    }
    PowerOps powerOps(*power, prompter);
    ShutdownForm countdown(state, clock);

    RecordingsLoader loader(state, todo, activity, db, prompter, window, timer, clock, store,
                            endProcess);
    loader.setRetry([&app](int ms, std::function<void()> again) {
        QTimer::singleShot(ms, &app, std::move(again));
    });
    PowerServices powerServices{state, todo,  activity, log,      prompter,  window,   timer,
                                clock, store, viewer,   powerOps, autostart, launcher, countdown};
    AfterRecording after(powerServices,
                         {endProcess, [](const QString& tool, const QStringList& args) {
                              return runWakeToolCheck(tool, args);
                          }});
    after.setWakeToolDryRun(commandLine.hasOption(kSimulatePower));
    Scheduler scheduler(
        state, todo, activity, db, viewer, prompter, window, timer, clock, log, autostart,
        {[&] { after.checkAfterRecording(); },
         [&] { powerOps.signalSystemRequired(state.standbyMode); },
         [&] { powerOps.closeWakeTimer(); }, endProcess, [] { QCoreApplication::processEvents(); },
         [&] { powerOps.holdAwakeForRecording(true); }});
    DBusNotifier notifier;
    scheduler.setNotifier(&notifier);
    after.setNotifier(&notifier);
    tick = [&] { scheduler.tick(); };
    QtWakeTimer wake([&] { scheduler.wake(); }); // a due entry starts on the dot
    scheduler.setWakeTimer(&wake);
    MenuActions menu(state, store, window, prompter, todo,
                     [&] { after.commands().wakeToolCommand(); });
    TodoEdit todoEdit(
        {state, todo, activity, db, prompter, window, clock, [&] { loader.getRecordings(); }});
    window.todoGrid()->setEditLogic(&todoEdit);
    DeleteSelection deleteSelection({state, todo, db, prompter, [&] { loader.getRecordings(); }});

    Startup startup({state, store, prompter, window, clock, todo, activity, db, log, timer,
                     commandLine, QCoreApplication::applicationDirPath()},
                    {[firstInstance] {
                         // The user looks for the window: the running one shows it.
                         if (!firstInstance)
                             InstanceBell::ring();
                         return !firstInstance;
                     },
                     [&instance] { return instance.problem(); },
                     [&] { after.checkAfterRecording(); }, [&] { loader.getRecordings(); },
                     [&] { powerOps.closeWakeTimer(); }, endProcessWith});

    QObject::connect(&window, &MainWindow::startViewerClicked,
                     [&] { startViewerByHand(state, window, prompter, viewer); });
    QObject::connect(&window, &MainWindow::getRecordingsClicked, [&] { loader.getRecordings(); });
    QObject::connect(&window, &MainWindow::standByClicked,
                     [&] { after.commands().standByCommand(); });
    QObject::connect(&window, &MainWindow::wakeToolClicked,
                     [&] { after.commands().wakeToolCommand(); });
    SettingsEditor settingsEditor(
        {state, store, prompter, window, autostart, [&] { after.commands().standbyTest(); }});
    QObject::connect(&window, &MainWindow::settingsClicked, [&] {
        runSettingsCommand(
            state, timer, [&] { Dialog::run(settingsEditor, &window); },
            [&] { startup.loadMainWindow(); });
    });
    AddRecordingCommand addRecording(
        state, prompter, window,
        [&] {
            return AddRecordingDialog::run({state, db, prompter, clock}, &window);
        },
        [&] { loader.getRecordings(); });
    QObject::connect(&window, &MainWindow::addRecordingClicked, [&] { addRecording.run(); });
    QObject::connect(&window, &MainWindow::goTimerTriggered, [&] { menu.goTimer(); });
    QObject::connect(&window, &MainWindow::deleteSelectionClicked, [&] {
        const auto [first, last] = window.todoGrid()->selectedRange();
        deleteSelection.deleteSelected(first, last);
    });
    QObject::connect(&window, &MainWindow::noShutDownTriggered, [&] { menu.noShutDown(); });
    QObject::connect(&window, &MainWindow::splitRatioChanged,
                     [&](double ratio) { state.splitRatio = ratio; });

    if (headless || commandLine.hasOption(kMirrorActivity)) {
        QObject::connect(&activity, &ActivityList::lineAppended, [](const QString& line) {
            std::printf("%s\n", line.toLocal8Bit().constData());
            std::fflush(stdout);
        });
    }
    InstanceBell bell;
    if (firstInstance) {
        bell.listen();
        QObject::connect(&bell, &InstanceBell::rung, &window, &MainWindow::bringToFront);
    }
    window.onQueryClose = [&] { return startup.queryCloseMainWindow(); };
    window.onUnload = [&] { startup.unloadMainWindow(); };

    // Logout, kill or Ctrl-C: end as the window's own closing does, keeping the layout,
    // without questions.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&] { startup.terminate(); });
        std::signal(SIGTERM, onTerminationSignal);
        std::signal(SIGINT, onTerminationSignal);
    }

    if (!startup.loadMainWindow())
        return 0;
    if (commandLine.hasOption(kQuitWhenIdle))
        QTimer::singleShot(0, &app, [&] { endProcess(); });
    const int result = app.exec();
    window.todoGrid()->setEditLogic(nullptr); // it goes before the window does
    return result;
}

} // namespace dorvel
