#include "standinoptions.h"

#include <cmath>

namespace dorvel::standin {

namespace {

// "/name=value" with the name matched caselessly; nothing when arg is another switch.
std::optional<QString> valueOf(const QString& arg, QLatin1StringView name)
{
    const QString prefix = QLatin1Char('/') + name + QLatin1Char('=');
    if (!arg.startsWith(prefix, Qt::CaseInsensitive))
        return std::nullopt;
    return arg.mid(prefix.size());
}

bool isSwitch(const QString& arg, QLatin1StringView name)
{
    return arg.size() == name.size() + 1 && arg.startsWith(QLatin1Char('/')) &&
           QStringView(arg).mid(1).compare(name, Qt::CaseInsensitive) == 0;
}

std::optional<int> number(const QString& text, bool allowNegative)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || (!allowNegative && v < 0))
        return std::nullopt;
    return v;
}

} // namespace

Options Options::parse(const QStringList& args)
{
    Options o;
    auto numeric = [&o](const QString& arg, const QString& value, std::optional<int>& target,
                        bool allowNegative) {
        target = number(value, allowNegative);
        if (!target)
            o.problems << QStringLiteral("%1: not a usable number, switch ignored").arg(arg);
    };
    for (const QString& arg : args) {
        if (isSwitch(arg, QLatin1StringView("close")))
            o.close = true;
        else if (isSwitch(arg, QLatin1StringView("streamonly")))
            o.streamOnly = true;
        else if (isSwitch(arg, QLatin1StringView("tray")))
            o.tray = true;
        else if (const auto v = valueOf(arg, QLatin1StringView("priority")))
            o.priorityHigh = v->compare(QLatin1StringView("high"), Qt::CaseInsensitive) == 0;
        else if (const auto v = valueOf(arg, QLatin1StringView("delay")))
            numeric(arg, *v, o.delay, true);
        else if (const auto v = valueOf(arg, QLatin1StringView("record")))
            numeric(arg, *v, o.recordMinutes, false);
        else if (const auto v = valueOf(arg, QLatin1StringView("channel")))
            numeric(arg, *v, o.channel, false);
        else if (const auto v = valueOf(arg, QLatin1StringView("file")))
            o.fileStem = *v;
    }
    return o;
}

QString recordDirectoryFromIni(const QByteArray& content)
{
    static const QString kKey = QStringLiteral("RecordDirectory=");
    QString dir;
    const QString text = QString::fromUtf8(content);
    for (QString line : text.split(QLatin1Char('\n'))) {
        line.remove(QLatin1Char('\r'));
        for (QString field : line.split(QLatin1Char(','))) {
            field = field.trimmed();
            if (field.size() >= 2 && field.startsWith(QLatin1Char('"')) &&
                field.endsWith(QLatin1Char('"')))
                field = field.mid(1, field.size() - 2);
            if (field.contains(kKey))
                dir = field.mid(kKey.size());
        }
    }
    // An empty value stays empty: "/" alone would send recordings to the root folder.
    if (!dir.isEmpty() && !dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

QString recordingStem(const Options& options, const QDateTime& start)
{
    if (!options.fileStem.isEmpty()) {
        QString stem = options.fileStem;
        stem.replace(QLatin1Char('/'), QLatin1Char('#'));
        return stem;
    }
    return QStringLiteral("Orbivu_%1_%2")
        .arg(options.channel.value_or(0))
        .arg(start.toString(QStringLiteral("yyyyMMdd_HHmmss")));
}

QString candidateFileName(const QString& stem, int attempt)
{
    if (attempt <= 0)
        return stem + QStringLiteral(".ts");
    return stem + QStringLiteral("_dup%1.ts").arg(attempt);
}

double secondsPerMinute(const QByteArray& envValue, QString* problem)
{
    if (envValue.isEmpty())
        return 60.0;
    bool ok = false;
    const double v = envValue.trimmed().toDouble(&ok);
    if (ok && std::isfinite(v) && v > 0 && v <= 3600)
        return v;
    if (problem)
        *problem = QStringLiteral("ORBIVU_STANDIN_SECONDS_PER_MINUTE=%1 is not usable, using 60")
                       .arg(QString::fromLocal8Bit(envValue));
    return 60.0;
}

} // namespace dorvel::standin
