#include "settings.h"

#include "settingsstore.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace dorvel {

bool flagFromText(const QString& text)
{
    return text == QStringLiteral("1");
}

double numericPrefix(const QString& text)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*([+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return 0.0;
    bool ok = false;
    const double v = m.captured(1).toDouble(&ok);
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
