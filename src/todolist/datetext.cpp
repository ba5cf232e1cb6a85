#include "datetext.h"

#include "datetime.h"

#include <cmath>

namespace dorvel {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date and back (H. Hinnant's algorithms).
constexpr qint64 daysFromCivil(qint64 y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

struct Civil {
    qint64 year;
    unsigned month, day, hour, minute, second;
};

Civil civilFromDays(qint64 z, qint64 secondOfDay)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const qint64 y = qint64(yoe) + era * 400 + (m <= 2);
    return {y,
            m,
            d,
            unsigned(secondOfDay / 3600),
            unsigned(secondOfDay / 60 % 60),
            unsigned(secondOfDay % 60)};
}

constexpr qint64 kEpochDays = daysFromCivil(1899, 12, 30);

bool isLeap(qint64 y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

unsigned daysInMonth(qint64 y, unsigned m)
{
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Rounds to the nearest second exactly as fromDaySerial() does, so that our texts and the
// default form always name the same second.
Civil civilOf(double serial)
{
    double days = std::floor(serial);
    qint64 secs = std::llround((serial - days) * 86400.0);
    if (secs >= 86400) {
        days += 1;
        secs -= 86400;
    }
    return civilFromDays(qint64(days) + kEpochDays, secs);
}

void put(QChar*& out, unsigned value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    out += width;
}

// Formats years 1 to 9999; everything else is out of the range the texts can hold and
// goes through the reference conversion.
template <typename F> QString build(double serial, int length, F&& fill)
{
    const Civil c = civilOf(serial);
    if (c.year < 1 || c.year > 9999)
        return {};
    QString s(length, Qt::Uninitialized);
    QChar* out = s.data();
    fill(c, out);
    return s;
}

int digitAt(QStringView t, int i)
{
    const char16_t ch = t[i].unicode();
    return ch >= u'0' && ch <= u'9' ? int(ch - u'0') : -1;
}

int numberAt(QStringView t, int from, int count)
{
    int n = 0;
    for (int i = from; i < from + count; ++i) {
        const int d = digitAt(t, i);
        if (d < 0)
            return -1;
        n = n * 10 + d;
    }
    return n;
}

} // namespace

std::optional<double> ParseDbTime(QStringView text)
{
    if (text.size() != 16)
        return std::nullopt;
    const int y = numberAt(text, 0, 4);
    const int mo = numberAt(text, 5, 2);
    const int d = numberAt(text, 8, 2);
    const int h = numberAt(text, 11, 2);
    const int mi = numberAt(text, 14, 2);
    if (y < 1 || mo < 1 || mo > 12 || d < 1 || h < 0 || h > 23 || mi < 0 || mi > 59)
        return std::nullopt;
    if (unsigned(d) > daysInMonth(y, unsigned(mo)))
        return std::nullopt;
    // Same arithmetic as the default form's parser, so both give the identical double.
    return double(daysFromCivil(y, unsigned(mo), unsigned(d)) - kEpochDays) +
           double(h * 3600 + mi * 60) / 86400.0;
}

QString FormatDbTime(double serial)
{
    QString s = build(serial, 16, [](const Civil& c, QChar* out) {
        put(out, unsigned(c.year), 4);
        *out++ = QLatin1Char('.');
        put(out, c.month, 2);
        *out++ = QLatin1Char('.');
        put(out, c.day, 2);
        *out++ = QLatin1Char(' ');
        put(out, c.hour, 2);
        *out++ = QLatin1Char(':');
        put(out, c.minute, 2);
    });
    return s.isNull() ? fromDaySerial(serial).toString(QStringLiteral("yyyy.MM.dd HH:mm")) : s;
}

QString FormatSortKey(double serial)
{
    QString s = build(serial, 12, [](const Civil& c, QChar* out) {
        put(out, unsigned(c.year), 4);
        put(out, c.month, 2);
        put(out, c.day, 2);
        put(out, c.hour, 2);
        put(out, c.minute, 2);
    });
    return s.isNull() ? fromDaySerial(serial).toString(QStringLiteral("yyyyMMddHHmm")) : s;
}

qint64 SortKeyNumber(double serial)
{
    const Civil c = civilOf(serial);
    return (((c.year * 100 + c.month) * 100 + c.day) * 100 + c.hour) * 100 + c.minute;
}

QString FormatDefaultQuick(double serial)
{
    QString s = build(serial, 19, [](const Civil& c, QChar* out) {
        put(out, unsigned(c.year), 4);
        *out++ = QLatin1Char('-');
        put(out, c.month, 2);
        *out++ = QLatin1Char('-');
        put(out, c.day, 2);
        *out++ = QLatin1Char(' ');
        put(out, c.hour, 2);
        *out++ = QLatin1Char(':');
        put(out, c.minute, 2);
        *out++ = QLatin1Char(':');
        put(out, c.second, 2);
    });
    return s.isNull() ? formatDefault(serial) : s;
}

double RoundToSecond(double serial)
{
    const double days = std::floor(serial);
    return days + double(std::llround((serial - days) * 86400.0)) / 86400.0;
}

} // namespace dorvel
