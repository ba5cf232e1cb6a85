// The date-time text parsers: the default form, what a user types, the database form. What
// they accept must format back and parse to the same second.

#include "datetext.h"
#include "datetime.h"
#include "fuzzcheck.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace dorvel;

namespace {

void roundTrips(double serial, const QString& input)
{
    FUZZ_CHECK(std::isfinite(serial), input);
    const QString text = formatDefault(serial);
    const std::optional<double> again = parseDefault(text);
    FUZZ_CHECK(again.has_value(), input + QStringLiteral(" -> ") + text);
    FUZZ_CHECK(std::abs(*again - RoundToSecond(serial)) < 0.5 / 86400.0,
               input + QStringLiteral(" -> ") + text);
    FUZZ_CHECK(FormatDefaultQuick(serial) == text, input + QStringLiteral(" -> ") + text);
    const std::optional<double> db = ParseDbTime(FormatDbTime(serial));
    FUZZ_CHECK(db.has_value(), input);
    FUZZ_CHECK(FormatSortKey(serial).size() == 12 || serial < 0 || serial > 2958465, input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto v = parseDefault(text))
        roundTrips(*v, text);
    if (const auto v = parseUserDateTime(text))
        roundTrips(*v, text);
    if (const auto v = parseUserDate(text))
        roundTrips(*v, text);
    if (const auto v = parseUserTime(text)) {
        FUZZ_CHECK(*v >= 0.0 && *v < 1.0, text);
    }
    if (const auto v = ParseDbTime(text))
        roundTrips(*v, text);
    return 0;
}
