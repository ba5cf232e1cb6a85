#include "settings.h"

#include "settingsstore.h"

#include <cmath>
#include <limits>

namespace dorvel {

bool flagFromText(const QString& text)
{
    return text == QStringLiteral("1");
}

double numericPrefix(const QString& text)
{
    // Scanned by hand: as a regular expression it was compiled on the first setting read at
    // start-up. Blanks and digits are ASCII ones only, as they were there.
    const QStringView s(text);
    const qsizetype n = s.size();
    auto isDigit = [&](qsizetype i) { return i < n && s[i] >= u'0' && s[i] <= u'9'; };
    auto skipDigits = [&](qsizetype& i) {
        const qsizetype from = i;
        while (isDigit(i))
            ++i;
        return i > from;
    };
    qsizetype i = 0;
    while (i < n && (s[i] == u' ' || (s[i] >= u'\t' && s[i] <= u'\r')))
        ++i;
    const qsizetype start = i;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        ++i;
    bool mantissa = skipDigits(i);
    if (i < n && s[i] == u'.') {
        qsizetype afterDot = i + 1;
        mantissa = skipDigits(afterDot) || mantissa;
        if (mantissa)
            i = afterDot;
    }
    if (!mantissa)
        return 0.0;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        if (skipDigits(j))
            i = j;
    }
    bool ok = false;
    const double v = s.sliced(start, i - start).toDouble(&ok);
    return ok ? v : 0.0;
}

std::optional<qint16> int16FromText(const QString& text)
{
    const double v = numericPrefix(text);
    if (!std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // default rounding mode: half to even
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(r);
}

QString ProgramSettings::text(const KeyDefault& k) const
{
    if (const auto read = m_readAhead.constFind(k.key); read != m_readAhead.cend())
        return *read;
    return m_store.get(key::App, key::Section, QString::fromLatin1(k.key),
                       QString::fromUtf8(k.defaultValue));
}

bool ProgramSettings::flag(const KeyDefault& k) const
{
    return flagFromText(text(k));
}

qint16 ProgramSettings::number(const KeyDefault& k) const
{
    if (const auto v = int16FromText(text(k)))
        return *v;
    return *int16FromText(QString::fromLatin1(k.defaultValue));
}

bool ProgramSettings::save(const KeyDefault& k, const QString& value)
{
    m_readAhead.remove(k.key);
    return m_store.save(key::App, key::Section, QString::fromLatin1(k.key), value);
}

void ProgramSettings::removeIfExists(const KeyDefault& k)
{
    m_readAhead.remove(k.key);
    m_store.removeIfExists(key::App, key::Section, QString::fromLatin1(k.key));
}

void ProgramSettings::readAhead(std::initializer_list<KeyDefault> ks)
{
    QList<std::pair<QString, QString>> wanted;
    for (const KeyDefault& k : ks)
        wanted.append({QString::fromLatin1(k.key), QString::fromUtf8(k.defaultValue)});
    const QStringList values = m_store.getMany(key::App, key::Section, wanted);
    qsizetype i = 0;
    for (const KeyDefault& k : ks)
        m_readAhead.insert(k.key, values.value(i++));
}

FormatStr FormatStr::parse(const QString& text)
{
    FormatStr f;
    const QStringList fields = text.split(QLatin1Char(';'));
    const qint16 percent = int16FromText(fields.value(0)).value_or(0);
    f.splitRatio = std::clamp(percent / 100.0, 0.05, 0.95);
    for (int i = 0; i < 8; ++i) {
        const qint16 w = int16FromText(fields.value(i + 1)).value_or(0);
        f.columnWidths[i] = w < kMinWidth ? kDefaultWidths[i] : std::min(w, kMaxWidth);
    }
    return f;
}

QString FormatStr::build(double splitRatio, const std::array<int, 8>& widths)
{
    QString s = QString::number(int(std::trunc(splitRatio * 100))) + QLatin1Char(';');
    for (int w : widths)
        s += QString::number(w) + QLatin1Char(';');
    return s;
}

} // namespace dorvel
