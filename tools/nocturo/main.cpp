// The wake-up tool: arms the PC's RTC wake alarm for a moment and switches the PC off
// through logind. Dorvel starts it with the single argument /wakeup=<yyyy-MM-dd HH:mm:ss>.

#include "datetime.h"
#include "power_wakealarm.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDateTime>
#include <QStringList>
#include <QTextStream>

namespace {

using namespace dorvel;

// A wake-up this close would fire before the PC is off and be lost.
constexpr qint64 kMinimumLeadSeconds = 60;

enum Exit { Ok = 0, Failed = 1, BadArguments = 2 };

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

int usage(const QString& problem)
{
    if (!problem.isEmpty())
        err() << "Nocturo: " << problem << Qt::endl;
    err() << "Usage: Nocturo.exe /wakeup=<yyyy-MM-dd HH:mm:ss> [--dry-run [--now=<yyyy-MM-dd "
             "HH:mm:ss>]]\n"
             "       Nocturo.exe --install\n"
             "  /wakeup=   arm the wake alarm for that local time and power the PC off\n"
             "  --dry-run  only print what would be done; touches neither the RTC nor logind\n"
             "  --now=     the current time to compute with (only with --dry-run)\n"
             "  --install  record the tool as installed for Dorvel (ByteOnOff=1)"
          << Qt::endl;
    return BadArguments;
}

// A local wall-clock time that exists: not in the hour skipped by a daylight-saving change.
std::optional<QDateTime> localTime(const QString& text)
{
    const std::optional<double> serial = parseDefault(text);
    if (!serial)
        return std::nullopt;
    const QDateTime t = fromDaySerial(*serial);
    if (!t.isValid() || formatDefault(t) != text.trimmed())
        return std::nullopt;
    return t;
}

int install()
{
    QtSettingsStore store;
    store.save(QStringLiteral("Nocturo"), QStringLiteral("StartUp"), QStringLiteral("ByteOnOff"),
               QStringLiteral("1"));
    if (store.get(QStringLiteral("Nocturo"), QStringLiteral("StartUp"), QStringLiteral("ByteOnOff"),
                  QString()) != QStringLiteral("1")) {
        err() << "Nocturo: could not write the settings file (ByteOnOff)" << Qt::endl;
        return Failed;
    }
    out() << "Nocturo: installed (StartUp/ByteOnOff=1)" << Qt::endl;
    return Ok;
}

int powerOff()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        err() << "Nocturo: no system bus: " << bus.lastError().message() << Qt::endl;
        return Failed;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PowerOff"));
    call << false; // never ask for authorisation
    const QDBusMessage reply = bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        err() << "Nocturo: power-off refused: " << reply.errorName() << ": " << reply.errorMessage()
              << Qt::endl;
        return Failed;
    }
    return Ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    bool dryRun = false;
    bool doInstall = false;
    QString wakeText;
    QString nowText;
    bool haveWake = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QStringLiteral("--dry-run")) {
            dryRun = true;
        } else if (a == QStringLiteral("--install")) {
            doInstall = true;
        } else if (a.startsWith(QStringLiteral("--now="))) {
            nowText = a.mid(6);
        } else if (a.startsWith(QStringLiteral("/wakeup="), Qt::CaseInsensitive)) {
            haveWake = true;
            wakeText = a.mid(8).trimmed();
            // Typed in a shell without quotes, the time arrives as an argument of its own.
            if (!wakeText.contains(QLatin1Char(' ')) && i + 1 < args.size() &&
                !args.at(i + 1).startsWith(QLatin1Char('-')) &&
                !args.at(i + 1).startsWith(QLatin1Char('/')))
                wakeText += QLatin1Char(' ') + args.at(++i).trimmed();
        } else {
            return usage(QStringLiteral("unknown argument \"%1\"").arg(a));
        }
    }

    if (doInstall) {
        if (haveWake || dryRun || !nowText.isEmpty())
            return usage(QStringLiteral("--install takes no other argument"));
        return install();
    }
    if (!haveWake)
        return usage(QStringLiteral("no /wakeup= time given"));
    if (!nowText.isEmpty() && !dryRun)
        return usage(QStringLiteral("--now= is only allowed with --dry-run"));

    const std::optional<QDateTime> wake = localTime(wakeText);
    if (!wake)
        return usage(
            QStringLiteral(
                "\"%1\" is not a valid local time of the form yyyy-MM-dd HH:mm:ss; nothing armed")
                .arg(wakeText));
    QDateTime now = QDateTime::currentDateTime();
    if (!nowText.isEmpty()) {
        const std::optional<QDateTime> n = localTime(nowText);
        if (!n)
            return usage(QStringLiteral("--now: \"%1\" is not a valid local time").arg(nowText));
        now = *n;
    }
    // Real seconds between the two, so that a daylight-saving change in between counts.
    const qint64 seconds = now.secsTo(*wake);
    if (seconds < kMinimumLeadSeconds) {
        err() << "Nocturo: the wake-up time " << formatDefault(*wake)
              << " is in the past or less than a minute ahead (now " << formatDefault(now)
              << "); nothing armed, the PC stays on" << Qt::endl;
        return BadArguments;
    }

    if (dryRun) {
        out() << "Dry run: would write \"0\" and then \"+" << seconds << "\" to "
              << kRtcWakeAlarmPath << " (wake-up at " << formatDefault(*wake)
              << ") and power off through logind" << Qt::endl;
        return Ok;
    }

    QString error;
    if (!writeRtcWakeAlarm(kRtcWakeAlarmPath, seconds, &error)) {
        err() << "Nocturo: cannot arm the wake alarm " << kRtcWakeAlarmPath << ": " << error
              << "; the PC stays on" << Qt::endl;
        return Failed;
    }
    out() << "Nocturo: wake alarm armed for " << formatDefault(*wake) << " (+" << seconds
          << " s); powering off" << Qt::endl;
    return powerOff();
}
