#include "eventlog.h"

#include "clock.h"
#include "settings.h"

#include <QFile>
#include <QFileInfo>

namespace dorvel {

bool EventLog::writeLine(const QString& text)
{
    const QString line = formatDefault(m_clock.now()) + text;
    if (m_mirror)
        m_mirror(line);
    if (!m_settings.saveLog || m_path.isEmpty())
        return false;
    return append(line);
}

void EventLog::start()
{
    if (m_path.isEmpty() || QFileInfo::exists(m_path))
        return;
    append(formatDefault(m_clock.now()) + QStringLiteral("    Dorvel Log File started"));
}

bool EventLog::append(const QString& line)
{
    QFile f(m_path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    const bool ok = f.write(bytes) == bytes.size();
    return f.flush() && ok;
}

} // namespace dorvel
