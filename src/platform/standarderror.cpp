#include "standarderror.h"

#include <QStringList>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace dorvel {

namespace {

const char* severityWord(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Info:
        break;
    }
    return "info";
}

} // namespace

QByteArray standardErrorLines(Severity severity, const QString& text, bool toJournal)
{
    const QByteArray prefix =
        toJournal ? QByteArray("<") + QByteArray::number(int(severity)) + QByteArray(">")
                  : QByteArray("dorvel: ") + severityWord(severity) + QByteArray(": ");
    QString body = text;
    body.remove(QLatin1Char('\r'));
    while (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    QByteArray out;
    for (const QString& line : body.split(QLatin1Char('\n')))
        out += prefix + line.toUtf8() + '\n';
    return out;
}

bool standardErrorIsJournal()
{
    // "device:inode" of the stream systemd connected; a redirected stderr no longer matches.
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const qsizetype colon = stream.indexOf(':');
    if (colon <= 0)
        return false;
    struct stat st {};
    if (::fstat(STDERR_FILENO, &st) != 0)
        return false;
    bool okDev = false, okIno = false;
    const qulonglong dev = stream.left(colon).toULongLong(&okDev);
    const qulonglong ino = stream.mid(colon + 1).toULongLong(&okIno);
    return okDev && okIno && dev == qulonglong(st.st_dev) && ino == qulonglong(st.st_ino);
}

void writeStandardError(Severity severity, const QString& text)
{
    static const bool journal = standardErrorIsJournal();
    const QByteArray lines = standardErrorLines(severity, text, journal);
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    std::fflush(stderr);
}

} // namespace dorvel
