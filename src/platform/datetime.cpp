#include "datetime.h"

#include <cmath>
#include <utility>

namespace dorvel {

namespace {

const QDate kEpoch(1899, 12, 30);

std::optional<double> serialOf(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return double(kEpoch.daysTo(date)) + double(time.msecsSinceStartOfDay()) / kMsPerDay;
}

// Qt's "yyyy" takes a sign ("-2020" is the year 2021 BC); a date or time a user can mean is
// made of digits and the separators of our forms only, starting with a digit, and its year
// is not negative.
bool plainNumbers(QStringView text)
{
    if (text.isEmpty() || !text.front().isDigit())
        return false;
    for (const QChar c : text) {
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digit && c != QLatin1Char('.') && c != QLatin1Char('-') && c != QLatin1Char(':'))
            return false;
    }
    return true;
}

// Strict parse of "<date format> <time format>": date and time are parsed apart, so a
// wall-clock time inside a daylight-saving gap is still a valid serial. QDate and QTime
// reject 31.02. and 25:00, which is what we want.
std::optional<double> parseWith(const QString& text, const QStringList& formats)
{
    const QString t = text.trimmed();
    const int blank = t.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return std::nullopt;
    const QString datePart = t.left(blank);
    const QString timePart = t.mid(blank + 1);
    if (!plainNumbers(datePart) || !plainNumbers(timePart))
        return std::nullopt;
    for (const QString& f : formats) {
        const int fb = f.indexOf(QLatin1Char(' '));
        const QDate d = QDate::fromString(datePart, f.left(fb));
        const QTime tm = QTime::fromString(timePart, f.mid(fb + 1));
        if (d.isValid() && d.year() >= 1 && tm.isValid())
            return serialOf(d, tm);
    }
    return std::nullopt;
}

// A day serial's date and its time of day, to the nearest second; a fraction that rounds up
// to midnight is the next day's 00:00:00.
std::pair<QDate, QTime> splitDaySerial(double serial)
{
    double days = std::floor(serial);
    qint64 ms = std::llround((serial - days) * 86400.0) * 1000;
    if (ms >= kMsPerDay) {
        days += 1;
        ms -= kMsPerDay;
    }
    return {kEpoch.addDays(qint64(days)), QTime::fromMSecsSinceStartOfDay(int(ms))};
}

} // namespace

double toDaySerial(const QDateTime& local)
{
    return *serialOf(local.date(), local.time());
}

QDateTime fromDaySerial(double serial)
{
    const auto [date, time] = splitDaySerial(serial);
    return QDateTime(date, time);
}

QDateTime firstInstantOf(double serial)
{
    const QDateTime t = fromDaySerial(serial);
    if (!t.isValid())
        return t;
    // Qt picks the later of two equal wall-clock times. Where the offset was larger some
    // hours before, the same wall-clock time may have come once already by that difference.
    const int shift = t.addSecs(-6 * 3600).offsetFromUtc() - t.offsetFromUtc();
    if (shift <= 0)
        return t;
    const QDateTime earlier = t.addSecs(-shift);
    return (earlier.date() == t.date() && earlier.time() == t.time()) ? earlier : t;
}

QString formatDefault(double serial)
{
    // Date and time apart: a wall-clock time in the spring-forward gap has no QDateTime.
    const auto [date, time] = splitDaySerial(serial);
    return date.toString(QStringLiteral("yyyy-MM-dd")) + QLatin1Char(' ') +
           time.toString(QStringLiteral("HH:mm:ss"));
}

QString formatDefault(const QDateTime& local)
{
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

std::optional<double> parseDefault(const QString& text)
{
    return parseWith(text, {QStringLiteral("yyyy-MM-dd HH:mm:ss")});
}

std::optional<double> parseUserDateTime(const QString& text)
{
    return parseWith(text,
                     {QStringLiteral("yyyy-MM-dd HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
                      QStringLiteral("dd.MM.yyyy HH:mm:ss"), QStringLiteral("dd.MM.yyyy HH:mm"),
                      QStringLiteral("yyyy.MM.dd HH:mm")});
}

std::optional<double> parseUserDate(const QString& text)
{
    const QString t = text.trimmed();
    if (!plainNumbers(t))
        return std::nullopt;
    for (const QString& f : {QStringLiteral("yyyy.MM.dd"), QStringLiteral("yyyy-MM-dd"),
                             QStringLiteral("dd.MM.yyyy")}) {
        const QDate d = QDate::fromString(t, f);
        if (d.isValid() && d.year() >= 1)
            return double(kEpoch.daysTo(d));
    }
    return std::nullopt;
}

std::optional<double> parseUserTime(const QString& text)
{
    const QString t = text.trimmed();
    if (!plainNumbers(t))
        return std::nullopt;
    for (const QString& f : {QStringLiteral("HH:mm"), QStringLiteral("HH:mm:ss")}) {
        const QTime tm = QTime::fromString(t, f);
        if (tm.isValid())
            return double(tm.msecsSinceStartOfDay()) / kMsPerDay;
    }
    return std::nullopt;
}

} // namespace dorvel
