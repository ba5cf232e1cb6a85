#include "rtcalarm.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace dorvel {

namespace {

// Two minutes: the RTC counts whole seconds and the alarm was armed relative to "now".
constexpr qint64 kReadBackSlackSeconds = 120;
// The kernel log is a ring of at most a few MB; a fake file could be anything.
constexpr qsizetype kMaxLogBytes = 8 * 1024 * 1024;

QString rtcClassFolder(const QString& root)
{
    return QDir::cleanPath(root + QStringLiteral("/sys/class/rtc"));
}

QByteArray readSmallFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return f.read(64 * 1024);
}

// /dev/kmsg hands out one record per read and EAGAIN at the end; a plain file ends with 0.
QByteArray readKernelLog(const QString& path, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    QByteArray all;
    char buf[8192];
    while (all.size() < kMaxLogBytes) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            all.append(buf, qsizetype(n));
            if (all.back() != '\n')
                all.append('\n');
        } else if (n < 0 && (errno == EPIPE || errno == EINTR)) {
            continue; // a record was overwritten while reading; the next one follows
        } else {
            break;
        }
    }
    ::close(fd);
    return all;
}

// Seconds since the epoch with the wall-clock time read as if it were UTC, as an RTC kept in
// local time counts.
qint64 localAsUtc(const QDateTime& t)
{
    return t.toSecsSinceEpoch() + t.offsetFromUtc();
}

bool near(qint64 a, qint64 b)
{
    return std::llabs(a - b) <= kReadBackSlackSeconds;
}

} // namespace

std::optional<RtcAlarm> findRtcAlarm(const QString& root, QString* problem)
{
    const QString folder = rtcClassFolder(root);
    if (!QFileInfo(folder).isDir()) {
        *problem = QStringLiteral("%1 does not exist: the kernel knows no real-time clock on this "
                                  "PC, so nothing can switch it on at a set time")
                       .arg(folder);
        return std::nullopt;
    }
    QStringList names = QDir(folder).entryList({QStringLiteral("rtc*")},
                                               QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    names.removeAll(QStringLiteral("rtc0"));
    names.prepend(QStringLiteral("rtc0"));
    for (const QString& name : std::as_const(names)) {
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral("/wakealarm");
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            return RtcAlarm{name, path};
    }
    *problem = QStringLiteral("no real-time clock in %1 offers a wake alarm (no wakealarm file): "
                              "its driver cannot switch the PC on")
                   .arg(folder);
    return std::nullopt;
}

QString notWritableReason(const QString& path)
{
    if (::access(QFile::encodeName(path).constData(), W_OK) == 0)
        return {};
    return QString::fromLocal8Bit(std::strerror(errno));
}

AlarmRange rtcAlarmRange(const QString& root)
{
    const QString path = QDir::cleanPath(root + QStringLiteral("/dev/kmsg"));
    QString error;
    const QByteArray log = readKernelLog(path, &error);
    if (!error.isEmpty())
        return {AlarmReach::Unknown,
                QStringLiteral("the kernel log (%1) cannot be read: %2").arg(path, error)};
    // rtc_cmos says "alarms up to one day|month|year" or "no alarms" when it registers.
    static const QRegularExpression line(
        QStringLiteral("^[^\\n]*rtc[^\\n]*(alarms up to one (day|month|year)|no alarms)[^\\n]*$"),
        QRegularExpression::MultilineOption);
    QRegularExpressionMatch last;
    auto it = line.globalMatch(QString::fromUtf8(log));
    while (it.hasNext())
        last = it.next();
    if (!last.hasMatch())
        return {AlarmReach::Unknown,
                QStringLiteral("the kernel log does not say (any more) how far ahead the RTC can "
                               "hold an alarm")};
    QString text = last.captured(0);
    text = text.mid(text.indexOf(QLatin1Char(';')) + 1).trimmed(); // drop kmsg's prefix
    const QString unit = last.captured(2);
    const AlarmReach reach = unit == QLatin1String("day")     ? AlarmReach::Day
                             : unit == QLatin1String("month") ? AlarmReach::Month
                             : unit == QLatin1String("year")  ? AlarmReach::Year
                                                              : AlarmReach::None;
    return {reach, text};
}

QString reachText(AlarmReach reach)
{
    switch (reach) {
    case AlarmReach::Day:
        return QStringLiteral("one day");
    case AlarmReach::Month:
        return QStringLiteral("one month");
    case AlarmReach::Year:
        return QStringLiteral("one year");
    case AlarmReach::None:
        return QStringLiteral("no alarm at all");
    case AlarmReach::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QDateTime latestAlarm(AlarmReach reach, const QDateTime& now)
{
    // The kernel compares the RTC's calendar fields: a month is up to the same day of the
    // next month, one second short, as it checks it.
    const QDateTime utc = now.toUTC();
    switch (reach) {
    case AlarmReach::Day:
        return utc.addSecs(24 * 3600 - 1);
    case AlarmReach::Month:
        return utc.addMonths(1).addSecs(-1);
    case AlarmReach::Year:
        return utc.addYears(1).addSecs(-1);
    case AlarmReach::None:
        return utc;
    case AlarmReach::Unknown:
        break;
    }
    return {};
}

bool alarmReadsBack(const QString& root, const RtcAlarm& rtc, const QDateTime& wake, QString* seen)
{
    const qint64 utc = wake.toSecsSinceEpoch();
    const qint64 local = localAsUtc(wake);
    const QString text = QString::fromLatin1(readSmallFile(rtc.wakeAlarmPath)).trimmed();
    bool isNumber = false;
    const qint64 value = text.toLongLong(&isNumber);
    isNumber = isNumber && text.front().isDigit(); // what was written ("+N") is no alarm time
    if (isNumber) {
        *seen = QStringLiteral("%1 reads %2").arg(rtc.wakeAlarmPath, text);
        return near(value, utc) || near(value, local);
    }
    // Some drivers do not show the alarm there; the legacy file shows it as date and time.
    const QString proc = QDir::cleanPath(root + QStringLiteral("/proc/driver/rtc"));
    const QString procText = QString::fromLatin1(readSmallFile(proc));
    if (procText.isEmpty()) {
        *seen = text.isEmpty()
                    ? QStringLiteral("%1 reads empty (no alarm set)").arg(rtc.wakeAlarmPath)
                    : QStringLiteral("%1 reads \"%2\"").arg(rtc.wakeAlarmPath, text);
        return false;
    }
    QMap<QString, QString> fields;
    for (const QString& l : procText.split(QLatin1Char('\n'))) {
        const qsizetype colon = l.indexOf(QLatin1Char(':'));
        if (colon > 0)
            fields.insert(l.left(colon).trimmed(), l.mid(colon + 1).trimmed());
    }
    const QString irq = fields.value(QStringLiteral("alarm_IRQ"));
    const QString date = fields.value(QStringLiteral("alrm_date"));
    const QString time = fields.value(QStringLiteral("alrm_time"));
    *seen = QStringLiteral("%1: alarm_IRQ %2, alarm %3 %4").arg(proc, irq, date, time);
    if (irq != QLatin1String("yes"))
        return false;
    const QDateTime at(QDate::fromString(date, QStringLiteral("yyyy-MM-dd")),
                       QTime::fromString(time, QStringLiteral("HH:mm:ss")), Qt::UTC);
    return at.isValid() && (near(at.toSecsSinceEpoch(), utc) || near(at.toSecsSinceEpoch(), local));
}

QString currentUserName()
{
    if (const passwd* pw = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::getuid());
}

} // namespace dorvel
