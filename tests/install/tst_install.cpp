// The installed program and the Debian package: what lands where, the menu entry and the
// metainfo pass their validators, the installed dorvel runs through its link, finds its folder
// and logs where an installed program must, and the package holds the same tree.

#include "programs.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace dorvel::test;

namespace {

// Files and links below a root, each with what it is: "link -> target", "exec" or "file".
QStringList tree(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        const QString rel = QDir(root).relativeFilePath(fi.filePath());
        if (fi.isSymLink())
            out << rel + " link -> " + fi.symLinkTarget().section('/', -3);
        else
            out << rel + (fi.isExecutable() ? " exec" : " file");
    }
    out.sort();
    return out;
}

const QString kAppId = QStringLiteral(DORVEL_APP_ID);

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    QString m_prefix;

    QString installed(const QString& rel) const { return m_prefix + '/' + rel; }

private Q_SLOTS:
    void initTestCase()
    {
        // A prefix with blanks; installed twice, as an update over an older version is.
        m_prefix = m_tmp.filePath("with blanks/usr");
        for (int i = 0; i < 2; ++i) {
            const Run r = run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", m_prefix});
            QVERIFY2(r.status == 0, r.err.constData());
        }
    }

    void installedTree()
    {
        const QStringList files = tree(m_prefix);
        // The wake-up tool is looked for in the program's folder; the links are relative, so
        // that the tree may be moved or staged.
        for (const QString& want :
             QStringList{"lib/dorvel/dorvel exec", "lib/dorvel/Nocturo.exe exec",
                         "lib/dorvel/orbivu-standin exec", "lib/dorvel/dorvel-demo exec",
                         "bin/dorvel link -> lib/dorvel/dorvel",
                         "bin/dorvel-demo link -> lib/dorvel/dorvel-demo",
                         "share/applications/" + kAppId + ".desktop file",
                         "share/metainfo/" + kAppId + ".metainfo.xml file",
                         "lib/udev/rules.d/60-dorvel-wakealarm.rules file",
                         "share/polkit-1/rules.d/60-dorvel-power.rules file"})
            QVERIFY2(files.contains(want), qPrintable(want + " not in\n" + files.join('\n')));
        for (const char* link : {"bin/dorvel", "bin/dorvel-demo"}) {
            char target[4096];
            const ssize_t n =
                ::readlink(QFile::encodeName(installed(link)).constData(), target, sizeof target);
            QVERIFY(n > 3 && QByteArray(target, n).startsWith("../"));
        }
        // Every icon of the source theme folder, also ones added later, unchanged.
        const QString source = SOURCE_DIR "/data/icons/hicolor";
        QDirIterator it(source, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
        int icons = 0;
        for (; it.hasNext(); ++icons) {
            const QString file = it.next();
            QCOMPARE(
                readFile(installed("share/icons/hicolor/" + QDir(source).relativeFilePath(file))),
                readFile(file));
        }
        QVERIFY(icons >= 1);
    }

    // The set-up files grant the one group exactly what unattended recording needs: no other
    // login1 action, no hibernate or reboot.
    void setUpFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("holds");
        QTest::newRow("udev: the group may write the wake alarm")
            << "lib/udev/rules.d/60-dorvel-wakealarm.rules"
            << QStringList{"SUBSYSTEM==\"rtc\"", "ACTION==\"add|change\"",
                           "RUN+=\"/bin/chgrp wakealarm /sys%p/wakealarm\"",
                           "RUN+=\"/bin/chmod g+w /sys%p/wakealarm\""};
        QStringList actions{"subject.isInGroup(\"wakealarm\")", "polkit.Result.YES"};
        for (const char* a : {"power-off", "suspend"})
            for (const char* variant : {"", "-multiple-sessions", "-ignore-inhibit"})
                actions << QStringLiteral("\"org.freedesktop.login1.%1%2\"").arg(a, variant);
        QTest::newRow("polkit: power-off and suspend without a password")
            << "share/polkit-1/rules.d/60-dorvel-power.rules" << actions;
    }
    void setUpFiles()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, holds);
        const QString text = QString::fromUtf8(readFile(installed(path)));
        for (const QString& h : holds)
            QVERIFY2(text.contains(h), qPrintable(h));
        auto it = QRegularExpression("org\\.freedesktop\\.login1\\.[a-z-]+").globalMatch(text);
        while (it.hasNext()) {
            const QString found = '"' + it.next().captured(0) + '"';
            QVERIFY2(holds.contains(found), qPrintable(found));
        }
    }

    void menuEntryAndMetainfo()
    {
        const QString desktop = installed("share/applications/" + kAppId + ".desktop");
        const Run d = run("desktop-file-validate", {desktop});
        // Hints are advice; warnings and errors are not accepted.
        QVERIFY2(d.status == 0 && !(d.out + d.err).contains("error") &&
                     !(d.out + d.err).contains("warning"),
                 (d.out + d.err).constData());
        const QSettings entry(desktop, QSettings::IniFormat);
        QCOMPARE(entry.value("Desktop Entry/Icon").toString(), "dorvel");
        QCOMPARE(entry.value("Desktop Entry/Exec").toString(), "dorvel");
        QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/scalable/apps/dorvel.svg")));

        const QString metainfo = installed("share/metainfo/" + kAppId + ".metainfo.xml");
        const Run a = run("appstreamcli", {"validate", "--no-net", metainfo});
        QVERIFY2(a.status == 0, (a.out + a.err).constData());
        const QByteArray xml = readFile(metainfo);
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() + ".desktop<"));
        QVERIFY(xml.contains("<release version=\"" DORVEL_VERSION "\""));
    }

    // Started through bin/dorvel, the program's folder is lib/dorvel: the event log lands there
    // when it may, otherwise in $XDG_STATE_HOME/Dorvel, appended to what an older version wrote.
    void logWhereAnInstalledProgramLogs_data()
    {
        QTest::addColumn<bool>("folderWritable");
        QTest::newRow("writable program folder") << true;
        QTest::newRow("installed for all users") << false;
    }
    void logWhereAnInstalledProgramLogs()
    {
        QFETCH(bool, folderWritable);
        QTemporaryDir dir;
        const QString root = dir.filePath("sand box");
        // The installed demo generator finds the installed stand-in through its own link.
        const Run gen =
            run(installed("bin/dorvel-demo"), {root, "--entries", "0", "--language", "eng"});
        QVERIFY2(gen.status == 0, gen.err.constData());
        QSettings(root + "/config/Nocturo/Nocturo.conf", QSettings::IniFormat)
            .setValue("StartUp/ByteOnOff", "1");
        const QString stateLog = root + "/state/Dorvel/Dorvel.log";
        const QByteArray older = "2026-12-01 08:00:00    Dorvel Log File started\n";
        QVERIFY(QDir().mkpath(QFileInfo(stateLog).path()));
        QFile old(stateLog);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(older) == older.size());
        old.close();
        QProcessEnvironment env = sandboxEnv(root);

        // A copy of the installed tree, so that its program folder may be taken away from us.
        const QString prefix = dir.filePath("usr");
        QCOMPARE(run("cp", {"-a", m_prefix, prefix}).status, 0);
        const QString programFolder = prefix + "/lib/dorvel";
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                              QFileDevice::ReadOther | QFileDevice::ExeOther;
        QString program = prefix + "/bin/dorvel";
        QStringList args = {"cmos", "--simulate-power", "--quit-when-idle"};
        if (!folderWritable) {
            QVERIFY(QFile::setPermissions(programFolder, readOnly));
            if (geteuid() == 0) {
                // Root writes anywhere: run as an ordinary user, the owner of the sandbox.
                QVERIFY(QFile::setPermissions(dir.path(), readOnly | QFileDevice::WriteOwner));
                QCOMPARE(run("chown", {"-R", "65534:65534", root}).status, 0);
                args =
                    QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--", program} +
                    args;
                program = "setpriv";
                env.insert("HOME", root);
            }
        }
        const Run r = run(program, args, env, 60000);
        QFile::setPermissions(programFolder, readOnly | QFileDevice::WriteOwner);
        QVERIFY2(r.status == 0, (r.out + r.err).constData());

        const QString folderLog = programFolder + "/Dorvel.log";
        const QByteArray log = readFile(folderWritable ? folderLog : stateLog);
        QVERIFY2(log.contains("   Dorvel started with Nocturo=on\n"), log.constData());
        // The older version's line is kept in the state folder; no second header.
        QCOMPARE(QFileInfo::exists(folderLog), folderWritable);
        QVERIFY(readFile(stateLog).startsWith(older));
        QCOMPARE(log.count("Log File started"), 1);
        // The same event reaches standard error with its level, for the journal.
        QVERIFY2(r.err.contains("dorvel: info: ") &&
                     r.err.contains("   Dorvel started with Nocturo=on"),
                 r.err.constData());
    }

    // One instance per user, whichever copy of the program is started.
    void installedBesideTheBuild()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("box");
        QCOMPARE(run(installed("bin/dorvel-demo"), {root, "--entries", "0"}).status, 0);
        // No event log: the build's folder must stay clean.
        QSettings(root + "/config/Dorvel/Dorvel.conf", QSettings::IniFormat)
            .setValue("Startup/SaveLog", "0");
        const QProcessEnvironment env = sandboxEnv(root);

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(DORVEL_EXE, {"--simulate-power", "--mirror-activity"});
        QVERIFY(first.waitForStarted(10000));
        QByteArray seen;
        while (!seen.contains("Logfile:") && first.state() == QProcess::Running &&
               first.waitForReadyRead(30000))
            seen += first.readAllStandardOutput();
        QVERIFY2(seen.contains("Logfile:"), seen.constData());

        const Run second = run(installed("bin/dorvel"), {"--simulate-power"}, env, 30000);
        QCOMPARE(second.status, 0);
        QCOMPARE(second.out + second.err, QByteArray());
        QCOMPARE(first.state(), QProcess::Running);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    // The package made from the build folder holds the installed tree, depends on what the
    // programs load, and runs from a scratch root.
    void debianPackage()
    {
        const QString out = m_tmp.filePath("package");
        const Run c =
            run(CPACK_COMMAND, {"-G", "DEB", "--config", BUILD_DIR "/CPackConfig.cmake", "-B", out},
                QProcessEnvironment::systemEnvironment(), 300000);
        QVERIFY2(c.status == 0, (c.out + c.err).constData());
        const QStringList debs = QDir(out).entryList({"dorvel_*.deb"}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = out + '/' + debs.first();

        const Run fields = run("dpkg-deb", {"-f", deb, "Package", "Version", "Depends"});
        QVERIFY(fields.out.contains("Package: dorvel\n"));
        QVERIFY(fields.out.contains("Version: " DORVEL_VERSION "\n"));
        for (const char* dependency : {"libc6", "libqt6core6", "libqt6widgets6", "libqt6dbus6",
                                       "libqt6sql6-sqlite", "libqt6svg6"})
            QVERIFY2(fields.out.contains(dependency), fields.out.constData());
        const Run contents = run("dpkg-deb", {"-c", deb});
        QCOMPARE(contents.status, 0);
        for (const QByteArray& line : contents.out.split('\n'))
            QVERIFY2(line.isEmpty() || line.contains(" root/root "), line.constData());

        const QString scratch = m_tmp.filePath("scratch root");
        QCOMPARE(run("dpkg-deb", {"-x", deb, scratch}).status, 0);
        QCOMPARE(tree(scratch + "/usr"), tree(m_prefix));
        const Run v = run(scratch + "/usr/bin/dorvel", {"--version"});
        QCOMPARE(v.out, QByteArray("dorvel " DORVEL_VERSION "\n"));
        // Its dependencies can be met on this system, as "apt install ./dorvel_*.deb" needs.
        const Run apt = run("apt-get", {"install", "-s", "-q", deb});
        QVERIFY2(apt.status == 0, (apt.out + apt.err).constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
