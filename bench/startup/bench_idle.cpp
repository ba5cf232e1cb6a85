// CPU share of an idle dorvel (nothing due for hours, the 500 ms tick running) over a span of
// seconds, next to an idle minimal Qt Widgets window measured over the same span. Target for
// dorvel: under 0.1% of one core; exits non-zero when it is missed.

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

// utime + stime of a process, in clock ticks.
long long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong(); // fields 14 and 15
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: bench_idle <dorvel> <dorvel-demo> <minimal_window> [seconds]\n");
        return 2;
    }
    const QString dorvel = QString::fromLocal8Bit(argv[1]);
    const QString demo = QString::fromLocal8Bit(argv[2]);
    const QString minimal = QString::fromLocal8Bit(argv[3]);
    const int seconds = argc > 4 ? std::atoi(argv[4]) : 120;

    QTemporaryDir dir;
    const QString box = dir.filePath(QStringLiteral("demo"));
    const QString tomorrow =
        QDateTime::currentDateTime().addDays(1).toString(QStringLiteral("yyyy.MM.dd"));
    if (QProcess::execute(demo, {box, QStringLiteral("--entries"), QStringLiteral("0")}) != 0 ||
        QProcess::execute(demo,
                          {QStringLiteral("--add-entry"),
                           box + QStringLiteral("/viewer/Database/Orbivu.mdb"), QStringLiteral("1"),
                           tomorrow + QStringLiteral(" 20:15"), tomorrow + QStringLiteral(" 21:00"),
                           QStringLiteral("Spielfilm")}) != 0) {
        std::fprintf(stderr, "demo generator failed\n");
        return 1;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), box + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), box + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const QString appCopy = dir.filePath(QStringLiteral("dorvel"));
    QFile::copy(dorvel, appCopy);

    QProcess d, m;
    for (QProcess* p : {&d, &m}) {
        p->setProcessEnvironment(env);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setStandardErrorFile(QProcess::nullDevice());
    }
    d.start(appCopy, {QStringLiteral("--simulate-power")});
    m.start(minimal, {QStringLiteral("--stay")});
    if (!d.waitForStarted() || !m.waitForStarted())
        return 1;
    QThread::sleep(5); // past start-up
    const long long d0 = cpuTicks(d.processId()), m0 = cpuTicks(m.processId());
    QThread::sleep(seconds);
    const long long d1 = cpuTicks(d.processId()), m1 = cpuTicks(m.processId());
    d.kill();
    m.kill();
    d.waitForFinished();
    m.waitForFinished();
    if (d0 < 0 || d1 < 0 || m0 < 0 || m1 < 0) {
        std::fprintf(stderr, "a process ended early\n");
        return 1;
    }
    const double hz = double(sysconf(_SC_CLK_TCK));
    const double dShare = 100.0 * double(d1 - d0) / hz / seconds;
    const double mShare = 100.0 * double(m1 - m0) / hz / seconds;
    std::printf(
        "idle CPU over %d s: dorvel %.3f%% of one core (target < 0.1%%), minimal window %.3f%%\n",
        seconds, dShare, mShare);
    return dShare < 0.1 ? 0 : 1;
}
