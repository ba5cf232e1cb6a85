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
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

namespace dorvel::test {

// The running program and what it has printed so far.
struct Running {
    std::unique_ptr<QProcess> process;
    QByteArray out;

    QProcess* operator->() const { return process.get(); }
    // Waits until the program has printed the text; false when it ended or the time is up.
    bool waitFor(const QByteArray& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            out += process->readAll();
            if (out.contains(text))
                return true;
            if (process->state() == QProcess::NotRunning)
                return false;
            process->waitForReadyRead(100);
        }
        return false;
    }
    // The same, with `slackMs` to spare after the given time.
    bool waitFor(const QByteArray& text, const QDateTime& by, int slackMs)
    {
        return waitFor(text, int(QDateTime::currentDateTime().msecsTo(by)) + slackMs);
    }
    // Terminates it as the session does; true when it ended cleanly.
    bool terminate()
    {
        if (process->state() != QProcess::Running)
            return false;
        process->terminate();
        return process->waitForFinished(10000) && process->exitStatus() == QProcess::NormalExit;
    }
};

// Runs xdotool on the test's X server; its output, or nothing when it failed or hung.
inline std::optional<QByteArray> xdo(const QStringList& args, int ms = 10000)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

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

    // An empty to-do list with the given settings of the program's own.
    static std::unique_ptr<E2ESandbox> empty(const QMap<QString, QString>& own = {})
    {
        auto box = std::make_unique<E2ESandbox>(QStringList{"--entries", "0"});
        for (auto it = own.cbegin(); it != own.cend(); ++it)
            box->setOwn(it.key(), it.value());
        return box;
    }

    // The program shows its window on the test's X server.
    void onDisplay()
    {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), qEnvironmentVariable("DISPLAY"));
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

    // The rows the statement gives, each as its values joined by '|'; nothing when it fails.
    std::optional<QStringList> rows(const QString& sql, const QVariantList& values = {}) const
    {
        const QString name = QStringLiteral("e2e-rows");
        std::optional<QStringList> result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(database());
            QSqlQuery q(db);
            if (db.open() && q.prepare(sql)) {
                for (const QVariant& v : values)
                    q.addBindValue(v);
                if (q.exec()) {
                    result.emplace();
                    while (q.next()) {
                        QStringList row;
                        for (int i = 0; i < q.record().count(); ++i)
                            row << q.value(i).toString();
                        result->append(row.join(QLatin1Char('|')));
                    }
                }
            }
        }
        QSqlDatabase::removeDatabase(name);
        return result;
    }

    // Rows of RECORD with that title; -1 when the database cannot be read.
    int recordsTitled(const QString& title) const
    {
        const auto n =
            rows(QStringLiteral("SELECT count(*) FROM RECORD WHERE SHORTDESC = ?"), {title});
        return n && n->size() == 1 ? n->first().toInt() : -1;
    }

    // The start of the first whole minute that is at least `lead` seconds away.
    static QDateTime nextMinuteAtLeast(int lead)
    {
        QDateTime t = QDateTime::currentDateTime().addSecs(lead);
        t.setTime(QTime(t.time().hour(), t.time().minute()));
        return t.addSecs(60);
    }

    // The earliest launch of an entry added now for a program started now: an entry is
    // loaded as pending only when its launch is more than a minute away, and the load
    // follows the start by a few seconds.
    static QDateTime firstLaunch() { return nextMinuteAtLeast(70); }

    QString configFile() const { return root + QStringLiteral("/config/Dorvel/Dorvel.conf"); }
    QString logFile() const { return appDir + QStringLiteral("/Dorvel.log"); }
    QString database() const { return root + QStringLiteral("/viewer/Database/Orbivu.mdb"); }
    QString viewer() const { return root + QStringLiteral("/viewer/Orbivu.EXE"); }

    // Starts dorvel.
    Running start(const QStringList& args = {QStringLiteral("--simulate-power"),
                                             QStringLiteral("--mirror-activity")})
    {
        Running r{std::make_unique<QProcess>(), {}};
        r->setProcessEnvironment(env);
        r->setProcessChannelMode(QProcess::MergedChannels);
        r->start(appDir + QStringLiteral("/dorvel"), args);
        r->waitForStarted(10000);
        return r;
    }

    // Starts the user's own viewer, from the viewer folder, without switches.
    std::unique_ptr<QProcess> startUserViewer() const
    {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(viewer(), {});
        return p->waitForStarted() ? std::move(p) : nullptr;
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
    bool waitForLog(const QByteArray& text, const QDateTime& by, int slackMs) const
    {
        return waitForFileText(logFile(), text,
                               int(QDateTime::currentDateTime().msecsTo(by)) + slackMs);
    }

    QString root;
    QString appDir;
    QProcessEnvironment env;
    bool ok = false;

private:
    QTemporaryDir m_dir;
};

} // namespace dorvel::test
