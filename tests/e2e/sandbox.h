#pragma once

// A generated demo sandbox with a private copy of dorvel, and the real program started in it
// offscreen with the simulated power backend.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
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
        gen.start(QStringLiteral(DORVEL_DEMO),
                  QStringList{root, QStringLiteral("--language"), QStringLiteral("eng")} +
                      extraDemoArgs);
        gen.waitForFinished(60000);
        ok = gen.exitStatus() == QProcess::NormalExit && gen.exitCode() == 0;
        if (!ok)
            qWarning("demo generator: %s", gen.readAllStandardError().constData());
        appDir = root + QStringLiteral("/app");
        QDir().mkpath(appDir);
        QFile::copy(QStringLiteral(DORVEL_EXE), appDir + QStringLiteral("/dorvel"));
        QDir().mkpath(root + QStringLiteral("/run"));
        QFile::setPermissions(root + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                 QFileDevice::WriteOwner |
                                                                 QFileDevice::ExeOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("ORBIVU_STANDIN_SECONDS_PER_MINUTE"), QStringLiteral("2"));
        env.remove(QStringLiteral("DISPLAY"));
    }

    // Appends a timer entry through the demo generator.
    bool addEntry(int channel, const QDateTime& start, const QDateTime& end, const QString& title,
                  int pre = 0, int post = 0) const
    {
        const QString form = QStringLiteral("yyyy.MM.dd HH:mm");
        return QProcess::execute(QStringLiteral(DORVEL_DEMO),
                                 {QStringLiteral("--add-entry"), database(),
                                  QString::number(channel), start.toString(form),
                                  end.toString(form), title, QString::number(pre),
                                  QString::number(post)}) == 0;
    }

    // Writes keys of the program's own settings section in the sandbox's store.
    void setOwn(const QString& key, const QString& value) const
    {
        QSettings s(configFile(), QSettings::IniFormat);
        s.setValue(QStringLiteral("Startup/") + key, value);
    }

    // Rows of RECORD with that title.
    int recordsTitled(const QString& title) const
    {
        const QString name = QStringLiteral("e2e-count");
        int n = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(database());
            if (db.open()) {
                QSqlQuery q(db);
                q.prepare(QStringLiteral("SELECT count(*) FROM RECORD WHERE SHORTDESC = ?"));
                q.addBindValue(title);
                if (q.exec() && q.next())
                    n = q.value(0).toInt();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return n;
    }

    // The start of the first whole minute that is at least `lead` seconds away.
    static QDateTime nextMinuteAtLeast(int lead)
    {
        QDateTime t = QDateTime::currentDateTime().addSecs(lead);
        t.setTime(QTime(t.time().hour(), t.time().minute()));
        return t.addSecs(60);
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
