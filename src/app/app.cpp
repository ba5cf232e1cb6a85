#include "app.h"

#include "activitylist.h"
#include "appstate.h"
#include "clock.h"
#include "eventlog.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "startup.h"
#include "system.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerdb.h"
#include "widgetprompter.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace dorvel {

namespace {

// Options of this platform. None of them contains "min" or "cmos".
const QString kSimulatePower = QStringLiteral("--simulate-power");
const QString kMirrorActivity = QStringLiteral("--mirror-activity");
const QString kQuitWhenIdle = QStringLiteral("--quit-when-idle");

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}

bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int runApplication(int argc, char* argv[])
{
    // Without a display the demo still runs: offscreen, with the activity list on stdout.
    const bool headless = !haveDisplay();
    if (headless)
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    WidgetPrompter prompter;
    MainWindow window(todo, activity, prompter);
    prompter.setParent(&window);

    // Ending the process "at once": nothing after it may run, not even pending events.
    auto endProcess = [&instance] {
        instance.release();
        std::fflush(stdout);
        ::_exit(0);
    };

    std::function<void()> tick = [] {};
    QtTickTimer timer([&tick] { tick(); });

    Startup startup({state, store, prompter, window, clock, todo, activity, db, log, timer, commandLine,
                     QCoreApplication::applicationDirPath()},
                    {[firstInstance] { return !firstInstance; }, [] {}, [] {}, [] {}, endProcess});

    if (headless || commandLine.hasOption(kMirrorActivity)) {
        QObject::connect(&activity, &ActivityList::lineAppended, [](const QString& line) {
            std::printf("%s\n", line.toLocal8Bit().constData());
            std::fflush(stdout);
        });
    }
    window.onQueryClose = [&] { return startup.queryCloseMainWindow(); };
    window.onUnload = [&] { startup.unloadMainWindow(); };

    // Logout, kill or Ctrl-C: end as the window's own closing does, without questions.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&] { startup.unloadMainWindow(); });
        std::signal(SIGTERM, onTerminationSignal);
        std::signal(SIGINT, onTerminationSignal);
    }

    if (!startup.loadMainWindow())
        return 0;
    if (commandLine.hasOption(kQuitWhenIdle))
        QTimer::singleShot(0, &app, [&] { endProcess(); });
    return app.exec();
}

} // namespace dorvel
