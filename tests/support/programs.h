#pragma once

// Real programs and their files, for the tests that run them as the user would.

#include <QDir>
#include <QFile>
#include <QProcess>

namespace dorvel::test {

struct Run {
    int status = -1; // -1: not started, crashed or timed out
    QByteArray out;
    QByteArray err;
};

inline Run run(const QString& program, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
               int ms = 120000)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return {-1, {}, (program + QStringLiteral(" cannot be started")).toUtf8()};
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return {-1, p.readAllStandardOutput(), p.readAllStandardError() + "\n(timed out)"};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Dorvel's surroundings in a sandbox below root, without a display: its own settings, state
// and runtime folders (the last private, as the single-instance lock wants it).
inline QProcessEnvironment sandboxEnv(const QString& root)
{
    QDir().mkpath(root + QStringLiteral("/run"));
    QFile::setPermissions(root + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    return env;
}

} // namespace dorvel::test
