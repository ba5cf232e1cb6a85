#pragma once

// A generated demo sandbox with a private copy of dorvel, and the real program started in it
// offscreen with the simulated power backend.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

namespace dorvel::test {

class E2ESandbox {
public:
    // extraDemoArgs go to the demo generator (for example "--now", "--entries").
    explicit E2ESandbox(const QStringList& extraDemoArgs = {})
    {
        root = m_dir.filePath(QStringLiteral("sandbox"));
        QProcess gen;
        gen.start(QStringLiteral(DORVEL_DEMO), QStringList{root, QStringLiteral("--language"), QStringLiteral("eng")} + extraDemoArgs);
        gen.waitForFinished(60000);
        ok = gen.exitStatus() == QProcess::NormalExit && gen.exitCode() == 0;
        if (!ok)
            qWarning("demo generator: %s", gen.readAllStandardError().constData());
        appDir = root + QStringLiteral("/app");
        QDir().mkpath(appDir);
        QFile::copy(QStringLiteral(DORVEL_EXE), appDir + QStringLiteral("/dorvel"));
        QDir().mkpath(root + QStringLiteral("/run"));
        QFile::setPermissions(root + QStringLiteral("/run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORBIVU_STANDIN_SECONDS_PER_MINUTE"), QStringLiteral("2"));
        env.remove(QStringLiteral("DISPLAY"));
    }

    QString configFile() const { return root + QStringLiteral("/config/Dorvel/Dorvel.conf"); }
    QString logFile() const { return appDir + QStringLiteral("/Dorvel.log"); }
    QString database() const { return root + QStringLiteral("/viewer/Database/Orbivu.mdb"); }

    // Starts dorvel; the caller owns the process.
    std::unique_ptr<QProcess> start(const QStringList& args = {QStringLiteral("--simulate-power"),
                                                                QStringLiteral("--mirror-activity")})
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(appDir + QStringLiteral("/dorvel"), args);
        p->waitForStarted(10000);
        return p;
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Waits until the file contains the text; returns whether it did in time.
    static bool waitForFileText(const QString& path, const QByteArray& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (readFile(path).contains(text))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // Reads what the process printed so far and waits until it printed the text.
    static bool waitForOutput(QProcess& p, QByteArray& seen, const QByteArray& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            seen += p.readAll();
            if (seen.contains(text))
                return true;
            if (p.state() == QProcess::NotRunning)
                return false;
            p.waitForReadyRead(100);
        }
        return false;
    }

    QString root;
    QString appDir;
    QProcessEnvironment env;
    bool ok = false;

private:
    QTemporaryDir m_dir;
};

} // namespace dorvel::test
