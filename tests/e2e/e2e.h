#pragma once

// The real dorvel with a private copy in a sandbox made by the demo generator, and what a test
// watches and drives it with: its output, event log and database, xdotool on the test's X
// server.

#include "atspi.h"
#include "programs.h"
#include "viewerfolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

namespace dorvel::test {

// Polls until f gives a true value or the time is up; that last value.
template <typename F> auto poll(F&& f, int ms) -> decltype(f())
{
    QElapsedTimer t;
    t.start();
    for (;;) {
        auto v = f();
        if (v || t.elapsed() > ms)
            return v;
        QTest::qWait(100);
    }
}

inline int msUntil(const QDateTime& t)
{
    return int(QDateTime::currentDateTime().msecsTo(t));
}

// A helper program's output; nothing when it failed or hung.
inline std::optional<QByteArray> tool(const QString& program, const QStringList& args,
                                      int ms = 10000)
{
    const Run r = run(program, args, QProcessEnvironment::systemEnvironment(), ms);
    return r.status == 0 ? std::optional(r.out) : std::nullopt;
}

inline bool xdo(const QStringList& args)
{
    return tool("xdotool", args).has_value();
}

// A sandbox made by the demo generator, with a private copy of dorvel.
struct Sandbox {
    // The to-do list is empty unless the demo's entries are wanted.
    explicit Sandbox(const QMap<QString, QString>& own = {}, bool demoEntries = false)
    {
        const Run gen =
            run(DORVEL_DEMO, QStringList{root, "--language", "eng"} +
                                 (demoEntries ? QStringList() : QStringList{"--entries", "0"}));
        ok =
            gen.status == 0 && QDir().mkpath(appDir) && QFile::copy(DORVEL_EXE, appDir + "/dorvel");
        if (!ok)
            qWarning("demo generator: %s", gen.err.constData());
        for (auto it = own.cbegin(); it != own.cend(); ++it)
            setOwn(it.key(), it.value());
        env = sandboxEnv(root); // after the generator, which wants a new folder
        env.insert("ORBIVU_STANDIN_SECONDS_PER_MINUTE", "2");
    }

    // The program shows its window on the test's X server, to the accessibility bus too.
    void onDisplay()
    {
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.insert("DISPLAY", qEnvironmentVariable("DISPLAY"));
    }

    // Appends a timer entry through the demo generator.
    bool addEntry(int channel, const QDateTime& start, const QDateTime& end, const QString& title,
                  int pre = 0, int post = 0) const
    {
        const QString form = "yyyy.MM.dd HH:mm";
        return run(DORVEL_DEMO,
                   {"--add-entry", database(), QString::number(channel), start.toString(form),
                    end.toString(form), title, QString::number(pre), QString::number(post)})
                   .status == 0;
    }

    void setOwn(const QString& key, const QString& value) const
    {
        QSettings(configFile(), QSettings::IniFormat).setValue("Startup/" + key, value);
    }

    // Rows of RECORD with that title; -1 when the database cannot be read.
    int recordsTitled(const QString& title) const
    {
        const auto n =
            queryRows(database(), "SELECT count(*) FROM RECORD WHERE SHORTDESC = ?", {title});
        return n && n->size() == 1 ? n->first().toInt() : -1;
    }

    // The user's own viewer, from the viewer folder, without switches.
    bool startUserViewer(QProcess& p) const
    {
        p.setProcessEnvironment(env);
        p.start(viewer(), {});
        return p.waitForStarted();
    }

    // Waits until the event log holds the text, at most until `slackMs` after the given time.
    bool waitForLog(const QByteArray& text, const QDateTime& by, int slackMs) const
    {
        return poll([&] { return readFile(logFile()).contains(text); }, msUntil(by) + slackMs);
    }

    // The earliest launch of an entry added now for a program started now: an entry is
    // loaded as pending only when its launch is more than a minute away, and the load
    // follows the start by a few seconds.
    static QDateTime firstLaunch()
    {
        const QDateTime t = QDateTime::currentDateTime().addSecs(70);
        return QDateTime(t.date(), QTime(t.time().hour(), t.time().minute())).addSecs(60);
    }

    QString configFile() const { return root + "/config/Dorvel/Dorvel.conf"; }
    QString logFile() const { return appDir + "/Dorvel.log"; }
    QString database() const { return root + "/viewer/Database/Orbivu.mdb"; }
    QString viewer() const { return root + "/viewer/Orbivu.EXE"; }

    QTemporaryDir dir;
    const QString root = dir.filePath("sandbox");
    const QString appDir = root + "/app";
    QProcessEnvironment env;
    bool ok = false;
};

// The real dorvel started in a sandbox, and what it has printed so far.
struct Dorvel : QProcess {
    explicit Dorvel(const Sandbox& box,
                    const QStringList& args = {"--simulate-power", "--mirror-activity"})
    {
        setProcessEnvironment(box.env);
        setProcessChannelMode(QProcess::MergedChannels);
        start(box.appDir + "/dorvel", args);
        waitForStarted(10000);
    }
    ~Dorvel() override
    {
        kill();
        waitForFinished();
    }

    // Waits until the program has printed the text; false when it ended or the time is up.
    bool waitFor(const QByteArray& text, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            out += readAll();
            if (out.contains(text))
                return true;
            if (state() == QProcess::NotRunning)
                return false;
            waitForReadyRead(100);
        }
        return false;
    }
    bool waitFor(const QByteArray& text, const QDateTime& by, int slackMs)
    {
        return waitFor(text, msUntil(by) + slackMs);
    }
    // Waits until it ends by itself, normally.
    bool ends(int ms)
    {
        const bool ended = waitForFinished(ms);
        out += readAll();
        return ended && exitStatus() == QProcess::NormalExit;
    }
    // Terminates it as the session does; true when it ended cleanly.
    bool stop()
    {
        if (state() != QProcess::Running)
            return false;
        terminate();
        return ends(10000);
    }

    QByteArray out;
};

} // namespace dorvel::test
