#include "waketoolcheck.h"

#include <QProcess>

namespace dorvel {

QString runWakeToolCheck(const QString& program, const QStringList& checkArgs, int timeoutMs)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, checkArgs);
    if (!p.waitForStarted(timeoutMs))
        return QStringLiteral("%1 cannot be started (%2)").arg(program, p.errorString());
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        return QStringLiteral("%1 did not answer its check within %2 s")
            .arg(program)
            .arg(timeoutMs / 1000);
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    QStringList problems;
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    for (QString line : err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.startsWith(QLatin1String("Nocturo: ")))
            problems << line.mid(9);
    }
    if (problems.isEmpty())
        problems << QStringLiteral("%1 ended with status %2 and said nothing")
                        .arg(program)
                        .arg(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1);
    return problems.join(QStringLiteral("; "));
}

} // namespace dorvel
