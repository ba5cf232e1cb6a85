#include "wakeuptool.h"

#include "datetime.h"
#include "logindcheck.h"
#include "power_wakealarm.h"
#include "settingsstore.h"
#include "system.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <QVariantMap>

#include <unistd.h>

namespace dorvel {

namespace {

// A wake-up this close would fire before the PC is off and be lost.
constexpr qint64 kMinimumLeadSeconds = 60;
// How long a failing tool waits for the Dorvel that started it to end before starting a new
// one: a new one would otherwise meet the old one's instance lock and give up.
constexpr int kDorvelEndWaitMs = 60000;
const QString kSeeReadme = QStringLiteral("(see \"Unattended recording on a real PC\" in the "
                                          "README; dorvel --check-power shows what is missing)");

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream& err()
{
    static QTextStream s(stderr);
    return s;
}

// A local wall-clock time that exists: not in the hour skipped when the clocks go forward.
// In the hour repeated when they go back, the first of the two: an hour early only wakes the
// PC to wait, an hour late misses the recording.
std::optional<QDateTime> localTime(const QString& text, bool* repeated = nullptr)
{
    const std::optional<double> serial = parseDefault(text);
    if (!serial)
        return std::nullopt;
    const QDateTime later = fromDaySerial(*serial);
    if (!later.isValid() || formatDefault(later) != text.trimmed())
        return std::nullopt;
    const QDateTime first = firstInstantOf(*serial);
    if (repeated)
        *repeated = first != later;
    return first;
}

QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), ' ');
}

} // namespace

QString wakeUpToolUsage()
{
    return QStringLiteral(
        "Usage: Nocturo.exe /wakeup=<yyyy-MM-dd HH:mm:ss> [--check] [--dry-run [--now=<yyyy-MM-dd "
        "HH:mm:ss>]]\n"
        "                   [--root=<folder>] [--dorvel=<folder>]\n"
        "       Nocturo.exe --install\n"
        "  /wakeup=   arm the wake alarm for that local time and power the PC off\n"
        "  --check    only check that this would work; exit status 0 when it would, 1 with\n"
        "             each problem on standard error when not\n"
        "  --dry-run  only print what would be done; reads and touches neither the RTC nor "
        "logind\n"
        "  --now=     the current time to compute with (only with --dry-run)\n"
        "  --root=    the folder that holds sys/, proc/ and dev/ (default /; NOCTURO_ROOT)\n"
        "  --dorvel=  the folder of dorvel, started again with \"min\" after a failure, and of\n"
        "             its event log (default: this tool's folder; NOCTURO_DORVEL_FOLDER)\n"
        "  --install  record the tool as installed for Dorvel (ByteOnOff=1)\n"
        "Exit status: 0 done, 1 failed (reported; the PC stays on and dorvel runs again),\n"
        "2 bad arguments, 3 another Nocturo.exe is running.");
}

std::optional<WakeUpToolOptions> parseWakeUpToolArguments(const QStringList& args, QString* problem)
{
    WakeUpToolOptions o;
    o.root = qEnvironmentVariable("NOCTURO_ROOT");
    o.dorvelFolder = qEnvironmentVariable("NOCTURO_DORVEL_FOLDER");
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QStringLiteral("--dry-run")) {
            o.dryRun = true;
        } else if (a == QStringLiteral("--check")) {
            o.check = true;
        } else if (a == QStringLiteral("--install")) {
            o.install = true;
        } else if (a.startsWith(QStringLiteral("--now="))) {
            o.nowText = a.mid(6);
        } else if (a.startsWith(QStringLiteral("--root="))) {
            o.root = a.mid(7);
        } else if (a.startsWith(QStringLiteral("--dorvel="))) {
            o.dorvelFolder = a.mid(9);
        } else if (a.startsWith(QStringLiteral("/wakeup="), Qt::CaseInsensitive)) {
            o.haveWake = true;
            o.wakeText = a.mid(8).trimmed();
            // Typed in a shell without quotes, the time arrives as an argument of its own.
            if (!o.wakeText.contains(QLatin1Char(' ')) && i + 1 < args.size() &&
                !args.at(i + 1).startsWith(QLatin1Char('-')) &&
                !args.at(i + 1).startsWith(QLatin1Char('/')))
                o.wakeText += QLatin1Char(' ') + args.at(++i).trimmed();
        } else {
            *problem = QStringLiteral("unknown argument \"%1\"").arg(a);
            return std::nullopt;
        }
    }
    if (o.install && (o.haveWake || o.dryRun || o.check || !o.nowText.isEmpty())) {
        *problem = QStringLiteral("--install takes no other argument");
        return std::nullopt;
    }
    if (!o.install && !o.haveWake) {
        *problem = QStringLiteral("no /wakeup= time given");
        return std::nullopt;
    }
    if (!o.nowText.isEmpty() && !o.dryRun) {
        *problem = QStringLiteral("--now= is only allowed with --dry-run");
        return std::nullopt;
    }
    if (o.root.isEmpty())
        o.root = QStringLiteral("/");
    if (o.dorvelFolder.isEmpty())
        o.dorvelFolder = QCoreApplication::applicationDirPath();
    return o;
}

WakeUpTool::WakeUpTool(WakeUpToolOptions options) : m(std::move(options)) {}

int WakeUpTool::run()
{
    if (m.install)
        return install();

    QDateTime now = QDateTime::currentDateTime();
    if (!m.nowText.isEmpty()) {
        const std::optional<QDateTime> n = localTime(m.nowText);
        if (!n) {
            err() << "Nocturo: --now: \"" << m.nowText << "\" is not a valid local time"
                  << Qt::endl;
            return ToolBadArguments;
        }
        now = *n;
    }

    if (m.check || m.dryRun) {
        const QStringList problems = check(now, m.check);
        for (const QString& p : problems)
            err() << "Nocturo: " << p << Qt::endl;
        if (!problems.isEmpty())
            return ToolFailed;
        if (m.dryRun && !m.check)
            out() << "Dry run: would write \"0\" and then \"+" << now.secsTo(*m_wake) << "\" to "
                  << kRtcWakeAlarmPath << " (wake-up at " << formatDefault(*m_wake)
                  << ") and power off through logind" << Qt::endl;
        return ToolOk;
    }

    // One tool at a time: a second one would re-arm the first one's alarm, and its failure
    // path would start a second Dorvel.
    SingleInstance lock(SingleInstance::lockPathFor(QStringLiteral("nocturo")));
    if (!lock.tryAcquire()) {
        const QString text = QStringLiteral("another Nocturo.exe is already running; this one "
                                            "(for %1) does nothing")
                                 .arg(m.wakeText);
        err() << "Nocturo: " << text << Qt::endl;
        writeLogLine(QStringLiteral("   Nocturo: ") + text);
        notify(QStringLiteral("Dorvel: wake-up tool started twice"), text);
        return ToolAlreadyRunning;
    }

    const QStringList problems = check(now, false);
    if (!problems.isEmpty())
        return fail(problems);

    const qint64 seconds = QDateTime::currentDateTime().secsTo(*m_wake);
    QString error;
    m_armed = true; // a failed second write may still have left the first: clear it anyway
    if (!writeRtcWakeAlarm(m_rtc->wakeAlarmPath, seconds, &error))
        return fail({QStringLiteral("the RTC refused the alarm %1 s ahead in %2 (%3); many RTCs "
                                    "hold alarms only up to a day or a month ahead")
                         .arg(seconds)
                         .arg(m_rtc->wakeAlarmPath, error)});
    QString seen;
    if (!alarmReadsBack(m.root, *m_rtc, *m_wake, &seen))
        return fail({QStringLiteral("the RTC did not keep the alarm for %1: %2")
                         .arg(formatDefault(*m_wake), seen)});
    out() << "Nocturo: wake alarm armed for " << formatDefault(*m_wake) << " (+" << seconds
          << " s, " << seen << "); powering off" << Qt::endl;
    const QString refused = powerOff();
    if (!refused.isEmpty())
        return fail({refused});
    return ToolOk;
}

int WakeUpTool::install()
{
    QtSettingsStore store;
    store.save(QStringLiteral("Nocturo"), QStringLiteral("StartUp"), QStringLiteral("ByteOnOff"),
               QStringLiteral("1"));
    if (store.get(QStringLiteral("Nocturo"), QStringLiteral("StartUp"), QStringLiteral("ByteOnOff"),
                  QString()) != QStringLiteral("1")) {
        err() << "Nocturo: could not write the settings file (ByteOnOff)" << Qt::endl;
        return ToolFailed;
    }
    out() << "Nocturo: installed (StartUp/ByteOnOff=1)" << Qt::endl;
    return ToolOk;
}

QStringList WakeUpTool::check(const QDateTime& now, bool verbose)
{
    QStringList problems;
    auto ok = [&](const QString& text) {
        if (verbose)
            out() << "ok: " << text << Qt::endl;
    };

    bool repeated = false;
    m_wake = localTime(m.wakeText, &repeated);
    if (!m_wake) {
        problems << QStringLiteral("\"%1\" is not a valid local time of the form yyyy-MM-dd "
                                   "HH:mm:ss (or falls in the hour skipped when the clocks go "
                                   "forward); nothing armed")
                        .arg(m.wakeText);
    } else if (now.secsTo(*m_wake) < kMinimumLeadSeconds) {
        problems << QStringLiteral("the wake-up time %1 is in the past or less than a minute ahead "
                                   "(now %2); nothing armed")
                        .arg(formatDefault(*m_wake), formatDefault(now));
    } else {
        ok(QStringLiteral("wake-up at %1, %2 s from now%3")
               .arg(formatDefault(*m_wake))
               .arg(now.secsTo(*m_wake))
               .arg(repeated ? QStringLiteral(" (the first of the two times the clocks show it "
                                              "when they go back)")
                             : QString()));
    }
    if (m.dryRun) {
        ok(QStringLiteral("dry run: the RTC and logind are not checked"));
        return problems;
    }

    QString problem;
    m_rtc = findRtcAlarm(m.root, &problem);
    if (!m_rtc) {
        problems << problem;
    } else {
        const QString why = notWritableReason(m_rtc->wakeAlarmPath);
        if (!why.isEmpty())
            problems << QStringLiteral(
                            "the wake alarm %1 is not writable for user %2 (%3): install "
                            "the udev rule and join the group \"wakealarm\" %4")
                            .arg(m_rtc->wakeAlarmPath, currentUserName(), why, kSeeReadme);
        else
            ok(QStringLiteral("%1 is writable").arg(m_rtc->wakeAlarmPath));
        const AlarmRange range = rtcAlarmRange(m.root);
        const QDateTime latest = latestAlarm(range.reach, now);
        if (m_wake && latest.isValid() && *m_wake > latest)
            problems << QStringLiteral("the RTC holds alarms only up to %1 ahead (kernel: \"%2\"), "
                                       "and the wake-up at %3 is farther: keep the PC on or in "
                                       "standby until the day before")
                            .arg(reachText(range.reach), range.source, formatDefault(*m_wake));
        else if (latest.isValid())
            ok(QStringLiteral("the RTC holds alarms up to %1 ahead").arg(reachText(range.reach)));
    }

    const QDBusConnection bus = QDBusConnection::systemBus();
    const LogindAnswer answer = askLogind(bus, QStringLiteral("CanPowerOff"));
    if (answer.yes()) {
        ok(describeLogindAnswer(answer, QStringLiteral("power off")));
    } else {
        QString text = describeLogindAnswer(answer, QStringLiteral("power off"));
        if (answer.error.isEmpty()) {
            const QStringList obstacles = logindObstacles(bus, QStringLiteral("shutdown"));
            if (!obstacles.isEmpty())
                text +=
                    QStringLiteral(" (") + obstacles.join(QStringLiteral(", ")) + QLatin1Char(')');
            text += QStringLiteral(": install the polkit rule and join the group \"wakealarm\" ") +
                    kSeeReadme;
        }
        problems << text;
    }
    return problems;
}

int WakeUpTool::fail(const QStringList& problems)
{
    disarm();
    const QString problem = oneLine(problems.join(QStringLiteral("; ")));
    err() << "Nocturo: " << problem << "; the PC stays on" << Qt::endl;
    const QString logged = writeLogLine(QStringLiteral("   Nocturo failed: ") + problem +
                                        QStringLiteral(" - the PC stays on, Dorvel starts again"));
    if (!logged.isEmpty())
        err() << "Nocturo: " << logged << Qt::endl;
    const QString summary =
        QStringLiteral("Dorvel: the PC could not be switched off for the next recording");
    notify(summary, problem + QStringLiteral(". The PC stays on and Dorvel starts again.") +
                        (logged.isEmpty() ? QString() : QStringLiteral(" Also ") + logged));
    const QString notStarted = restartDorvel();
    if (!notStarted.isEmpty()) {
        err() << "Nocturo: " << notStarted << Qt::endl;
        writeLogLine(QStringLiteral("   Nocturo: ") + notStarted);
        notify(summary, notStarted);
    }
    return ToolFailed;
}

void WakeUpTool::disarm()
{
    if (!m_armed || !m_rtc)
        return;
    QString error;
    if (!clearRtcWakeAlarm(m_rtc->wakeAlarmPath, &error))
        err() << "Nocturo: could not clear the wake alarm " << m_rtc->wakeAlarmPath << ": " << error
              << Qt::endl;
    m_armed = false;
}

QString WakeUpTool::writeLogLine(const QString& text)
{
    const QString path = logFolderFor(m.dorvelFolder) + QStringLiteral("/Dorvel.log");
    QFile f(path);
    const QByteArray line =
        (formatDefault(QDateTime::currentDateTime()) + oneLine(text) + QLatin1Char('\n')).toUtf8();
    if (f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(line) == line.size() &&
        f.flush())
        return {};
    return QStringLiteral("the event log %1 could not be written (%2)").arg(path, f.errorString());
}

void WakeUpTool::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Dorvel") << uint(0) << QStringLiteral("dialog-warning") << summary
         << body.toHtmlEscaped() << QStringList()
         << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}} << int(-1);
    // Waited for, briefly: the tool ends right after, and a message still queued would be lost.
    bus.call(call, QDBus::Block, 3000);
}

QString WakeUpTool::restartDorvel()
{
    const QString program = m.dorvelFolder + QStringLiteral("/dorvel");
    if (!SingleInstance::waitUntilFree(SingleInstance::defaultLockPath(), kDorvelEndWaitMs))
        return QStringLiteral("Dorvel still runs, so it is not started a second time");
    QProcess p;
    p.setProgram(program);
    p.setArguments({QStringLiteral("min")});
    p.setWorkingDirectory(m.dorvelFolder);
    p.setStandardInputFile(QProcess::nullDevice());
    if (!p.startDetached())
        return QStringLiteral("%1 min could not be started (%2): start Dorvel by hand")
            .arg(program, p.errorString());
    return {};
}

QString WakeUpTool::powerOff()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return QStringLiteral("no system bus for logind (%1)").arg(bus.lastError().message());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false; // never ask for authorisation
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("logind refused to power off: %1: %2")
            .arg(reply.errorName(), reply.errorMessage());
    return {};
}

} // namespace dorvel
