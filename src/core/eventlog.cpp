#include "eventlog.h"

#include "clock.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace dorvel {

bool EventLog::writeLine(const QString& text)
{
    if (!m_settings.saveLog || m_path.isEmpty())
        return false;
    return append(text);
}

void EventLog::start()
{
    if (m_path.isEmpty() || QFileInfo::exists(m_path))
        return;
    append(QStringLiteral("    Dorvel Log File started"));
}

bool EventLog::append(const QString& text)
{
    QFile f(m_path);
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = (formatDefault(m_clock.now()) + text + QLatin1Char('\n')).toUtf8();
    const bool ok = f.write(line) == line.size();
    return f.flush() && ok;
}

} // namespace dorvel
