#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace dorvel {

// The text forms of a point in time (a local day serial, see datetime.h) that the to-do list
// and the viewer database use.

// The database form "yyyy.mm.dd hh:nn": exactly 16 characters, digits at the digit places;
// the four separator places are not looked at. An impossible date or time (2026.02.31,
// 24:00) is nothing, never shifted into the next month or day.
std::optional<double> ParseDbTime(QStringView text);

// The database form of a point in time. Seconds are dropped, not rounded, but only after
// the serial has been rounded to the nearest second: the minute constant is a hair shorter
// than a real minute, so "start - 2 minutes" lies a fraction of a millisecond before the
// full minute and must not lose that minute. 20:12:59 still gives 20:12.
QString FormatDbTime(double serial);

// The sort key: the same fields as FormatDbTime without separators, 12 digits.
QString FormatSortKey(double serial);
// The same key as a number, for sorting without parsing texts.
qint64 SortKeyNumber(double serial);

// Exactly the text formatDefault() gives, built without QDateTime: the loader formats three
// of them per entry and QDateTime::toString would dominate a load of 100,000 entries.
QString FormatDefaultQuick(double serial);

// The serial rounded to the nearest second, as its default text form shows it.
double RoundToSecond(double serial);

} // namespace dorvel
