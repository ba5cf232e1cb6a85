#include "powerreadiness.h"

#include "logindcheck.h"
#include "rtcalarm.h"
#include "settingsstore.h"
#include "system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace dorvel {

namespace {

using State = ReadinessItem::State;

const QString kGroup = QStringLiteral("wakealarm");
const QString kUdevRule = QStringLiteral("60-dorvel-wakealarm.rules");
const QString kPolkitRule = QStringLiteral("60-dorvel-power.rules");
const QString kReadme = QStringLiteral("README, \"Unattended recording on a real PC\"");

QString joinGroupFix(const QString& user)
{
    return QStringLiteral("install Dorvel with its set-up files (udev rule %1, polkit rule %2), "
                          "then: sudo groupadd -f %3 && sudo usermod -aG %3 %4 && sudo udevadm "
                          "trigger -s rtc; log in again (%5)")
        .arg(kUdevRule, kPolkitRule, kGroup, user, kReadme);
}

// An INI-like file as the display managers write it: "[section]" and "key=value"; '#' and
// ';' start comments. Keys keyed "section/key"; the last value wins, as it does for them.
QMap<QString, QString> readIni(const QString& path)
{
    QMap<QString, QString> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return out;
    QString section;
    for (QString line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0)
            out.insert(section + QLatin1Char('/') + line.left(eq).trimmed(),
                       line.mid(eq + 1).trimmed());
    }
    return out;
}

// The file itself, then the *.conf files of its drop-in folders in name order.
QStringList withDropIns(const QString& file, const QStringList& folders)
{
    QStringList out;
    if (QFileInfo::exists(file))
        out << file;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name :
             dir.entryList({QStringLiteral("*.conf")}, QDir::Files | QDir::Readable, QDir::Name))
            out << dir.filePath(name);
    }
    return out;
}

bool isTrue(const QString& v)
{
    return v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || v == QLatin1String("1");
}

struct LoginFinding {
    QString manager; // "gdm3", "lightdm", "sddm", "getty"
    QString file;
    QString user; // empty: configured without automatic login
};

QList<LoginFinding> automaticLogins(const QString& root)
{
    QList<LoginFinding> found;
    auto at = [&](const QString& p) { return QDir::cleanPath(root + p); };

    for (const QString& file :
         {at(QStringLiteral("/etc/gdm3/daemon.conf")), at(QStringLiteral("/etc/gdm3/custom.conf")),
          at(QStringLiteral("/etc/gdm/custom.conf"))}) {
        if (!QFileInfo::exists(file))
            continue;
        const auto ini = readIni(file);
        const bool on = isTrue(ini.value(QStringLiteral("daemon/AutomaticLoginEnable")));
        found.append({QStringLiteral("gdm3"), file,
                      on ? ini.value(QStringLiteral("daemon/AutomaticLogin")) : QString()});
    }

    const QStringList lightdm =
        withDropIns(at(QStringLiteral("/etc/lightdm/lightdm.conf")),
                    {at(QStringLiteral("/usr/share/lightdm/lightdm.conf.d")),
                     at(QStringLiteral("/etc/lightdm/lightdm.conf.d"))});
    if (!lightdm.isEmpty()) {
        LoginFinding f{QStringLiteral("lightdm"), lightdm.first(), {}};
        for (const QString& file : lightdm) {
            const auto ini = readIni(file);
            for (const QString& section :
                 {QStringLiteral("SeatDefaults"), QStringLiteral("Seat:*")}) {
                const QString user = ini.value(section + QStringLiteral("/autologin-user"));
                if (!user.isEmpty())
                    f = {QStringLiteral("lightdm"), file, user};
            }
        }
        found.append(f);
    }

    const QStringList sddm = withDropIns(
        at(QStringLiteral("/etc/sddm.conf")),
        {at(QStringLiteral("/usr/lib/sddm/sddm.conf.d")), at(QStringLiteral("/etc/sddm.conf.d"))});
    if (!sddm.isEmpty()) {
        LoginFinding f{QStringLiteral("sddm"), sddm.first(), {}};
        for (const QString& file : sddm) {
            const QString user = readIni(file).value(QStringLiteral("Autologin/User"));
            if (!user.isEmpty())
                f = {QStringLiteral("sddm"), file, user};
        }
        found.append(f);
    }

    // A console login that starts the desktop from the profile: agetty --autologin <user>.
    const QStringList getty =
        withDropIns(QString(), {at(QStringLiteral("/etc/systemd/system/getty@tty1.service.d")),
                                at(QStringLiteral("/etc/systemd/system/getty@.service.d"))});
    for (const QString& file : getty) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        const QStringList words =
            QString::fromUtf8(f.readAll()).split(QRegularExpression(QStringLiteral("[\\s=]+")));
        for (qsizetype i = 0; i + 1 < words.size(); ++i) {
            if (words.at(i) == QLatin1String("--autologin") || words.at(i) == QLatin1String("-a"))
                found.append({QStringLiteral("getty"), file, words.at(i + 1)});
        }
    }
    return found;
}

ReadinessItem automaticLoginItem(const ReadinessInputs& in)
{
    ReadinessItem item{QStringLiteral("Automatic login"), State::Ok, {}, {}, true};
    const QList<LoginFinding> found = automaticLogins(in.root);
    QStringList others;
    QStringList without;
    for (const LoginFinding& f : found) {
        if (f.user == in.userName) {
            item.detail =
                QStringLiteral("%1 logs in %2 by itself (%3)").arg(f.manager, f.user, f.file);
            return item;
        }
        if (!f.user.isEmpty())
            others << QStringLiteral("%1 logs in %2 (%3)").arg(f.manager, f.user, f.file);
        else
            without << QStringLiteral("%1 (%2)").arg(f.manager, f.file);
    }
    const QString why = QStringLiteral("after the RTC has switched the PC on, only a login starts "
                                       "the desktop and with it Dorvel's autostart entry");
    item.fix = QStringLiteral("set automatic login for %1: gdm3 [daemon] AutomaticLoginEnable=true "
                              "and AutomaticLogin=%1 in /etc/gdm3/daemon.conf; lightdm "
                              "autologin-user=%1 under [Seat:*]; sddm [Autologin] User=%1 (%2)")
                   .arg(in.userName, kReadme);
    if (found.isEmpty()) {
        item.state = State::Unknown;
        item.detail = QStringLiteral("no configuration of gdm3, lightdm, sddm or a getty autologin "
                                     "found, so it cannot be told; %1")
                          .arg(why);
        return item;
    }
    item.state = State::Problem;
    item.detail = (others.isEmpty()
                       ? QStringLiteral("no automatic login: ") + without.join(QStringLiteral(", "))
                       : QStringLiteral("automatic login is not for %1: ").arg(in.userName) +
                             others.join(QStringLiteral(", "))) +
                  QStringLiteral("; ") + why;
    return item;
}

ReadinessItem idleSuspendItem(const ReadinessInputs& in)
{
    ReadinessItem item{QStringLiteral("Desktop idle suspend"), State::Ok, {}, {}, false};
    const QString holdOff = QStringLiteral("Dorvel holds it off while it records and in standby "
                                           "mode, but not while it waits for the next recording");
    if (in.runCommand) {
        const QString schema = QStringLiteral("org.gnome.settings-daemon.plugins.power");
        const QString type =
            in.runCommand(QStringLiteral("gsettings"),
                          {QStringLiteral("get"), schema, QStringLiteral("sleep-inactive-ac-type")})
                .trimmed();
        if (!type.isEmpty()) {
            if (type == QLatin1String("'nothing'")) {
                item.detail = QStringLiteral("GNOME does not suspend an idle PC on mains power");
                return item;
            }
            const QString secs = in.runCommand(QStringLiteral("gsettings"),
                                               {QStringLiteral("get"), schema,
                                                QStringLiteral("sleep-inactive-ac-timeout")})
                                     .trimmed()
                                     .section(QLatin1Char(' '), -1);
            item.state = State::Note;
            item.detail = QStringLiteral("GNOME does %1 after %2 min idle on mains power; %3")
                              .arg(type)
                              .arg(secs.toInt() / 60)
                              .arg(holdOff);
            item.fix = QStringLiteral("Settings > Power > Automatic Suspend: off when plugged in");
            return item;
        }
        const QString xfce =
            in.runCommand(QStringLiteral("xfconf-query"),
                          {QStringLiteral("-c"), QStringLiteral("xfce4-power-manager"),
                           QStringLiteral("-p"),
                           QStringLiteral("/xfce4-power-manager/inactivity-on-ac")})
                .trimmed();
        if (!xfce.isEmpty()) {
            const int minutes = xfce.toInt();
            // Its slider's lowest position, 14, and 0 both mean never.
            if (minutes == 0 || minutes == 14) {
                item.detail =
                    QStringLiteral("Xfce does not put an idle PC to sleep on mains power");
                return item;
            }
            item.state = State::Note;
            item.detail = QStringLiteral("Xfce acts after %1 min idle on mains power; %2")
                              .arg(minutes)
                              .arg(holdOff);
            item.fix = QStringLiteral("Power Manager > System > When inactive for: Never");
            return item;
        }
    }
    const QString kde = in.configHome + QStringLiteral("/powermanagementprofilesrc");
    if (QFileInfo::exists(kde)) {
        const auto ini = readIni(kde);
        const QString idle = ini.value(QStringLiteral("AC][SuspendSession/idleTime"));
        if (idle.isEmpty()) {
            item.detail =
                QStringLiteral("KDE does not suspend an idle PC on mains power (%1)").arg(kde);
            return item;
        }
        item.state = State::Note;
        item.detail = QStringLiteral("KDE suspends after %1 min idle on mains power; %2")
                          .arg(idle.toLongLong() / 60000)
                          .arg(holdOff);
        item.fix = QStringLiteral("System Settings > Power Management > On AC Power: no suspend");
        return item;
    }
    item.state = State::Unknown;
    item.detail = QStringLiteral("this desktop's setting cannot be read (neither GNOME, Xfce nor "
                                 "KDE settings found); %1")
                      .arg(holdOff);
    item.fix = QStringLiteral("switch idle suspend off in the desktop's power settings");
    return item;
}

ReadinessItem logindItem(const ReadinessInputs& in, const QString& method, const QString& action,
                         const QString& what)
{
    const LogindAnswer a = askLogind(in.systemBus, method, in.busTimeoutMs);
    ReadinessItem item{QStringLiteral("logind %1").arg(method),
                       State::Ok,
                       describeLogindAnswer(a, action),
                       {},
                       true};
    if (a.yes())
        return item;
    item.state = State::Problem;
    if (!a.error.isEmpty()) {
        item.fix = QStringLiteral("Dorvel needs systemd-logind on the system bus");
        return item;
    }
    const QStringList obstacles = logindObstacles(in.systemBus, what, in.busTimeoutMs);
    if (!obstacles.isEmpty())
        item.detail +=
            QStringLiteral(" (") + obstacles.join(QStringLiteral(", ")) + QLatin1Char(')');
    item.fix = joinGroupFix(in.userName);
    return item;
}

QString stateWord(State s)
{
    switch (s) {
    case State::Ok:
        return QStringLiteral("ok");
    case State::Problem:
        return QStringLiteral("PROBLEM");
    case State::Unknown:
        return QStringLiteral("unknown");
    case State::Note:
        return QStringLiteral("note");
    }
    return {};
}

} // namespace

ReadinessInputs systemReadinessInputs(const QString& programFolder, const SettingsStore& store)
{
    ReadinessInputs in;
    in.programFolder = programFolder;
    in.configHome = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    in.userName = currentUserName();
    in.systemBus = QDBusConnection::systemBus();
    in.store = &store;
    in.runCommand = [](const QString& program, const QStringList& args) {
        if (QStandardPaths::findExecutable(program).isEmpty())
            return QString();
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0) {
            p.kill();
            p.waitForFinished(1000);
            return QString();
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    };
    return in;
}

QList<ReadinessItem> checkPowerReadiness(const ReadinessInputs& in)
{
    QList<ReadinessItem> items;

    QString problem;
    const std::optional<RtcAlarm> rtc = findRtcAlarm(in.root, &problem);
    if (rtc)
        items.append({QStringLiteral("RTC with a wake alarm"),
                      State::Ok,
                      QStringLiteral("%1 (%2)").arg(rtc->name, rtc->wakeAlarmPath),
                      {},
                      true});
    else
        items.append({QStringLiteral("RTC with a wake alarm"), State::Problem, problem,
                      QStringLiteral("switch on the RTC (CMOS clock) in the firmware set-up; a "
                                     "virtual machine needs an emulated RTC"),
                      true});

    ReadinessItem writable{
        QStringLiteral("Wake alarm writable by %1").arg(in.userName), State::Ok, {}, {}, true};
    if (rtc) {
        const QString why = notWritableReason(rtc->wakeAlarmPath);
        writable.detail =
            why.isEmpty() ? rtc->wakeAlarmPath + QStringLiteral(" is writable")
                          : QStringLiteral("%1 is not writable (%2)").arg(rtc->wakeAlarmPath, why);
        if (!why.isEmpty()) {
            writable.state = State::Problem;
            writable.fix = joinGroupFix(in.userName);
        }
    } else {
        writable.state = State::Problem;
        writable.detail = QStringLiteral("no wake alarm to write");
    }
    items.append(writable);

    const AlarmRange range = rtcAlarmRange(in.root);
    ReadinessItem reach{QStringLiteral("RTC alarm range"), State::Ok, {}, {}, false};
    switch (range.reach) {
    case AlarmReach::Unknown:
        reach.state = State::Unknown;
        reach.detail = range.source;
        reach.fix =
            QStringLiteral("sudo dmesg | grep rtc shows it (\"alarms up to one day/month/year\")");
        break;
    case AlarmReach::None:
        reach.state = State::Problem;
        reach.needed = true;
        reach.detail = QStringLiteral("the RTC has no alarm (kernel: \"%1\")").arg(range.source);
        reach.fix = QStringLiteral("switch on wake by RTC in the firmware set-up");
        break;
    case AlarmReach::Day:
        reach.state = State::Note;
        reach.detail =
            QStringLiteral("alarms only up to one day ahead (kernel: \"%1\"): the wake-up "
                           "tool refuses a recording more than a day away")
                .arg(range.source);
        reach.fix = QStringLiteral("for recordings more than a day apart use standby mode, or "
                                   "look for a firmware update");
        break;
    default:
        reach.detail = QStringLiteral("alarms up to %1 ahead (kernel: \"%2\")")
                           .arg(reachText(range.reach), range.source);
    }
    items.append(reach);

    items.append(logindItem(in, QStringLiteral("CanPowerOff"), QStringLiteral("power off"),
                            QStringLiteral("shutdown")));
    items.append(logindItem(in, QStringLiteral("CanSuspend"), QStringLiteral("suspend"),
                            QStringLiteral("sleep")));

    const QString tool = in.programFolder + QStringLiteral("/Nocturo.exe");
    ReadinessItem toolItem{QStringLiteral("Wake-up tool"), State::Ok, {}, {}, true};
    const QString mark = in.store
                             ? in.store->get(QStringLiteral("Nocturo"), QStringLiteral("StartUp"),
                                             QStringLiteral("ByteOnOff"), QString())
                             : QString();
    if (!isExecutableFile(tool)) {
        toolItem.state = State::Problem;
        toolItem.detail = tool + QStringLiteral(" is missing or not executable");
        toolItem.fix = QStringLiteral("install Dorvel completely: the tool belongs beside dorvel");
    } else if (mark.trimmed() != QLatin1String("1")) {
        toolItem.state = State::Problem;
        toolItem.detail = tool + QStringLiteral(" is there but not installed for Dorvel");
        toolItem.fix = QStringLiteral("run: \"%1\" --install").arg(tool);
    } else {
        toolItem.detail = tool + QStringLiteral(" is installed");
    }
    items.append(toolItem);

    const QString entry = in.configHome + QStringLiteral("/autostart/Dorvel.desktop");
    ReadinessItem autostart{QStringLiteral("Autostart entry"), State::Ok, {}, {}, false};
    const auto desktop = readIni(entry);
    const QString exec = desktop.value(QStringLiteral("Desktop Entry/Exec"));
    if (!QFileInfo::exists(entry)) {
        autostart.state = State::Note;
        autostart.detail = entry + QStringLiteral(" is not there yet");
        autostart.fix = QStringLiteral("Dorvel writes it before it hands over to the wake-up tool; "
                                       "to have it now, choose \"Autostart\" in the settings");
    } else if (!exec.contains(QLatin1String("dorvel"))) {
        autostart.state = State::Problem;
        autostart.needed = true;
        autostart.detail = QStringLiteral("%1 does not start dorvel (Exec=%2)").arg(entry, exec);
        autostart.fix = QStringLiteral("delete it; Dorvel writes a new one");
    } else {
        autostart.detail = QStringLiteral("%1 starts %2").arg(entry, exec);
    }
    items.append(autostart);

    items.append(automaticLoginItem(in));
    items.append(idleSuspendItem(in));
    return items;
}

bool isReadyForUnattendedRecording(const QList<ReadinessItem>& items)
{
    for (const ReadinessItem& i : items) {
        if (i.needed && (i.state == State::Problem || i.state == State::Unknown))
            return false;
    }
    return true;
}

QString formatReadiness(const QList<ReadinessItem>& items)
{
    QString out = QStringLiteral("Is this PC ready for unattended recording?\n");
    int blocking = 0;
    for (const ReadinessItem& i : items) {
        out += QStringLiteral("  %1 %2: %3\n")
                   .arg(stateWord(i.state).leftJustified(8), i.name, i.detail);
        if (!i.fix.isEmpty() && i.state != State::Ok)
            out += QStringLiteral("           fix: %1\n").arg(i.fix);
        if (i.needed && (i.state == State::Problem || i.state == State::Unknown))
            ++blocking;
    }
    out += blocking == 0 ? QStringLiteral("Ready: yes.\n")
                         : QStringLiteral("Ready: no - %1 of the above must be put right first.\n")
                               .arg(blocking);
    return out;
}

} // namespace dorvel
