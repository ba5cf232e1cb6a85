// Settings values as a hand-edited settings file may hold them.

#include "fuzzcheck.h"
#include "settings.h"

#include <QRegularExpression>

#include <cmath>
#include <cstddef>
#include <cstdint>

using namespace dorvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    FUZZ_CHECK(flagFromText(text) == (text == QStringLiteral("1")), text);
    const double prefix = numericPrefix(text);
    FUZZ_CHECK(!std::isnan(prefix), text);
    // The hand scan reads what this pattern reads (\s and \d: ASCII only, as Qt compiles it).
    static const QRegularExpression re(
        QStringLiteral("^\\s*([+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    bool ok = false;
    const double expected = m.hasMatch() ? m.captured(1).toDouble(&ok) : 0.0;
    FUZZ_CHECK(prefix == (ok ? expected : 0.0), text);
    if (const auto v = int16FromText(text))
        FUZZ_CHECK(std::abs(double(*v) - prefix) <= 0.5 + 1e-9, text);
    const FormatStr f = FormatStr::parse(text);
    FUZZ_CHECK(f.splitRatio >= 0.05 && f.splitRatio <= 0.95, text);
    std::array<int, 8> widths{};
    for (int i = 0; i < 8; ++i)
        widths[std::size_t(i)] = f.columnWidths[std::size_t(i)];
    // What the close handler writes back reads back the same.
    const FormatStr again = FormatStr::parse(FormatStr::build(f.splitRatio, widths));
    FUZZ_CHECK(again.columnWidths == f.columnWidths, text);
    return 0;
}
