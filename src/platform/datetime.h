#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace dorvel {

// A point in time is local wall-clock time as a day serial: days since 1899-12-30, the
// fraction being the time of day. The constants are the system's own decimal literals,
// deliberately not 1/1440 and 1/86400.
inline constexpr double kMinute = 0.000694444;
inline constexpr double kSecond = 0.000011574;
inline constexpr qint64 kMsPerDay = 86400000;

double toDaySerial(const QDateTime& local);
// Rounds the time of day to the nearest second, as the serial's display does.
QDateTime fromDaySerial(double serial);

// The moment a serial's wall-clock time is first reached. In the hour the clocks go back
// each wall-clock time comes twice; the scheduler, comparing wall-clock serials, acts at the
// first, so every span aimed at a launch must end there too.
QDateTime firstInstantOf(double serial);

// The one default date-time text form: "yyyy-MM-dd HH:mm:ss", locale independent.
QString formatDefault(double serial);
QString formatDefault(const QDateTime& local);
std::optional<double> parseDefault(const QString& text);

// Text a user typed into a date-time field: the default form, the same without seconds,
// "dd.MM.yyyy HH:mm[:ss]" and "yyyy.MM.dd HH:mm". Impossible dates are rejected.
std::optional<double> parseUserDateTime(const QString& text);
// Date fields ("yyyy.MM.dd", "yyyy-MM-dd", "dd.MM.yyyy") give midnight of the day; time
// fields ("HH:mm", "HH:mm:ss") give the fraction of the day.
std::optional<double> parseUserDate(const QString& text);
std::optional<double> parseUserTime(const QString& text);

} // namespace dorvel
