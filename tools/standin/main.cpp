// The stand-in viewer. A demo or a test copies this executable into a viewer folder as
// Orbivu.EXE; it then reads that folder's settings.ini and writes standin.log there.

#include "standin.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the event loop reads the number from the pipe.
void onSignal(int sig)
{
    const int saved = errno;
    const char c = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &c, 1);
    errno = saved;
}

bool installSignalHandlers()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &sa, nullptr) == 0 && ::sigaction(SIGINT, &sa, nullptr) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    // Before anything else, so that a close request that comes early is not fatal.
    if (!installSignalHandlers()) {
        std::perror("Orbivu stand-in: cannot install signal handlers");
        return 1;
    }
    QCoreApplication app(argc, argv);

    dorvel::standin::Standin::Setup setup;
    setup.folder = QCoreApplication::applicationDirPath();
    setup.args = app.arguments().mid(1);
    QString problem;
    setup.secondsPerMinute =
        dorvel::standin::secondsPerMinute(qgetenv("ORBIVU_STANDIN_SECONDS_PER_MINUTE"), &problem);
    if (!problem.isEmpty())
        std::fprintf(stderr, "Orbivu stand-in: %s\n", qPrintable(problem));
    setup.ignoreFirstClose = qgetenv("ORBIVU_STANDIN_IGNORE_FIRST_CLOSE") == "1";
    setup.signalFd = g_signalPipe[0];

    dorvel::standin::Standin standin(setup);
    QObject::connect(&standin, &dorvel::standin::Standin::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);
    standin.start();
    return app.exec();
}
