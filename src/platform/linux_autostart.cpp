#include "linux_autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace dorvel {

namespace {

// One argument of an Exec line: quoted when it holds a reserved character; inside the
// quotes ", `, $ and \ take a backslash. A literal % is written %% (field codes).
QString quoteArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg) {
        if (reserved.contains(c)) {
            needsQuotes = true;
            break;
        }
    }
    QString out;
    if (needsQuotes)
        out += QLatin1Char('"');
    for (const QChar c : arg) {
        if (needsQuotes && (c == QLatin1Char('"') || c == QLatin1Char('`') ||
                            c == QLatin1Char('$') || c == QLatin1Char('\\')))
            out += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
        out += c;
    }
    if (needsQuotes)
        out += QLatin1Char('"');
    return out;
}

// The escapes of a desktop entry string value, applied after the Exec quoting.
QString escapeStringValue(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        default:
            out += c;
        }
    }
    if (out.startsWith(QLatin1Char(' ')))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

} // namespace

LinuxAutostart::LinuxAutostart(QString folder) : m_folder(std::move(folder))
{
    if (m_folder.isEmpty()) {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty() || !QDir::isAbsolutePath(config))
            config = QDir::homePath() + QStringLiteral("/.config");
        m_folder = config + QStringLiteral("/autostart");
    }
}

QString LinuxAutostart::entryPath(const QString& name) const
{
    return m_folder + QLatin1Char('/') + name + QStringLiteral(".desktop");
}

QString LinuxAutostart::execValue(const QString& program, const QStringList& args)
{
    QStringList parts{quoteArgument(program)};
    for (const QString& a : args)
        parts.append(quoteArgument(a));
    return escapeStringValue(parts.join(QLatin1Char(' ')));
}

void LinuxAutostart::setRunEntry(const QString& name, const QString& program,
                                 const QStringList& args)
{
    // Failures are silent by design; QSaveFile leaves the old entry intact when they happen.
    QDir().mkpath(m_folder);
    QSaveFile f(entryPath(name));
    if (!f.open(QIODevice::WriteOnly))
        return;
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=%1\n"
                                        "Exec=%2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(escapeStringValue(name), execValue(program, args));
    f.write(text.toUtf8());
    f.commit();
}

void LinuxAutostart::deleteRunEntry(const QString& name)
{
    QFile::remove(entryPath(name));
}

} // namespace dorvel
