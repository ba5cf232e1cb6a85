// The installed program and the Debian package: what lands where, the menu entry and the
// metainfo pass their validators, the installed dorvel runs through its link, finds its folder
// and logs where an installed program must, and the package holds the same tree.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& args,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), int ms = 120000)
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

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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
            out << rel + QStringLiteral(" link -> ") +
                       fi.symLinkTarget().section(QLatin1Char('/'), -3);
        else
            out << rel + (fi.isExecutable() ? QStringLiteral(" exec") : QStringLiteral(" file"));
    }
    out.sort();
    return out;
}

QByteArray linkText(const QString& path)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
}

const QString kAppId = QStringLiteral(DORVEL_APP_ID);

} // namespace

class TestInstall : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    QString m_prefix;

    QString installed(const QString& rel) const { return m_prefix + QLatin1Char('/') + rel; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // A prefix with blanks; installed twice, as an update over an older version is.
        m_prefix = m_tmp.filePath(QStringLiteral("with blanks/usr"));
        for (int i = 0; i < 2; ++i) {
            const Run r = run(QStringLiteral(CMAKE_COMMAND),
                              {QStringLiteral("--install"), QStringLiteral(BUILD_DIR),
                               QStringLiteral("--prefix"), m_prefix});
            QVERIFY2(r.status == 0, r.err.constData());
        }
    }

    void installedFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::newRow("dorvel") << "lib/dorvel/dorvel"
                                << "exec";
        // The wake-up tool is looked for in the program's folder.
        QTest::newRow("wake-up tool") << "lib/dorvel/Nocturo.exe"
                                      << "exec";
        QTest::newRow("stand-in") << "lib/dorvel/orbivu-standin"
                                  << "exec";
        QTest::newRow("demo") << "lib/dorvel/dorvel-demo"
                              << "exec";
        QTest::newRow("bin/dorvel") << "bin/dorvel"
                                    << "link -> lib/dorvel/dorvel";
        QTest::newRow("bin/dorvel-demo") << "bin/dorvel-demo"
                                         << "link -> lib/dorvel/dorvel-demo";
        QTest::newRow("menu entry") << "share/applications/" + kAppId + ".desktop"
                                    << "file";
        QTest::newRow("metainfo") << "share/metainfo/" + kAppId + ".metainfo.xml"
                                  << "file";
        QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/dorvel.svg"
                              << "file";
        QTest::newRow("udev rule") << "lib/udev/rules.d/60-dorvel-wakealarm.rules"
                                   << "file";
        QTest::newRow("polkit rule") << "share/polkit-1/rules.d/60-dorvel-power.rules"
                                     << "file";
    }

    // The set-up files grant the one group exactly what unattended recording needs.
    void setUpFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("holds");
        QTest::newRow("udev: the group may write the wake alarm")
            << "lib/udev/rules.d/60-dorvel-wakealarm.rules"
            << QStringList{"SUBSYSTEM==\"rtc\"", "ACTION==\"add|change\"",
                           "RUN+=\"/bin/chgrp wakealarm /sys%p/wakealarm\"",
                           "RUN+=\"/bin/chmod g+w /sys%p/wakealarm\""};
        QStringList actions;
        for (const char* a : {"power-off", "suspend"})
            for (const char* variant : {"", "-multiple-sessions", "-ignore-inhibit"})
                actions << QStringLiteral("\"org.freedesktop.login1.%1%2\"").arg(a, variant);
        QTest::newRow("polkit: power-off and suspend without a password")
            << "share/polkit-1/rules.d/60-dorvel-power.rules"
            << actions + QStringList{"subject.isInGroup(\"wakealarm\")", "polkit.Result.YES"};
    }
    void setUpFiles()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, holds);
        const QString text = QString::fromUtf8(readFile(installed(path)));
        for (const QString& h : holds)
            QVERIFY2(text.contains(h), qPrintable(h));
        // Only what the rule must grant: no other login1 action, no hibernate or reboot.
        const QRegularExpression action(QStringLiteral("org\\.freedesktop\\.login1\\.[a-z-]+"));
        auto it = action.globalMatch(text);
        while (it.hasNext()) {
            const QString found = QLatin1Char('"') + it.next().captured(0) + QLatin1Char('"');
            QVERIFY2(holds.contains(found), qPrintable(found));
        }
    }
    void installedFiles()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        const QFileInfo fi(installed(path));
        QVERIFY2(fi.exists() || fi.isSymLink(), qPrintable(path));
        if (kind.startsWith(QLatin1String("link"))) {
            QVERIFY(fi.isSymLink());
            // Relative, so that the tree may be moved or staged.
            QCOMPARE(fi.symLinkTarget(), QFileInfo(installed(kind.mid(8))).absoluteFilePath());
            QVERIFY(linkText(fi.filePath()).startsWith("../"));
        } else {
            QVERIFY(!fi.isSymLink());
            QCOMPARE(fi.isExecutable(), kind == QLatin1String("exec"));
        }
    }

    // Every icon of the source theme folder, also ones added later, is installed unchanged.
    void everyIconInstalled()
    {
        const QString source = QStringLiteral(SOURCE_DIR "/data/icons/hicolor");
        QDirIterator it(source, {QStringLiteral("*.svg")}, QDir::Files,
                        QDirIterator::Subdirectories);
        int icons = 0;
        while (it.hasNext()) {
            const QString file = it.next();
            const QString rel = QDir(source).relativeFilePath(file);
            QCOMPARE(readFile(installed(QStringLiteral("share/icons/hicolor/") + rel)),
                     readFile(file));
            ++icons;
        }
        QVERIFY(icons >= 1);
    }

    void menuEntryAndMetainfo()
    {
        const QString desktop = installed("share/applications/" + kAppId + ".desktop");
        const Run d = run(QStringLiteral("desktop-file-validate"), {desktop});
        QVERIFY2(d.status == 0, (d.out + d.err).constData());
        // Hints are advice; warnings and errors are not accepted.
        QVERIFY2(!(d.out + d.err).contains("error") && !(d.out + d.err).contains("warning"),
                 (d.out + d.err).constData());
        const QSettings entry(desktop, QSettings::IniFormat);
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/Icon")).toString(),
                 QStringLiteral("dorvel"));
        QCOMPARE(entry.value(QStringLiteral("Desktop Entry/Exec")).toString(),
                 QStringLiteral("dorvel"));
        QVERIFY(QFileInfo::exists(installed("share/icons/hicolor/scalable/apps/dorvel.svg")));

        const QString metainfo = installed("share/metainfo/" + kAppId + ".metainfo.xml");
        const Run a = run(QStringLiteral("appstreamcli"),
                          {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
        QVERIFY2(a.status == 0, (a.out + a.err).constData());
        const QByteArray xml = readFile(metainfo);
        QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + kAppId.toUtf8() + ".desktop<"));
        QVERIFY(xml.contains("<release version=\"" DORVEL_VERSION "\""));
    }

    void versionThroughTheLink()
    {
        const Run r = run(installed(QStringLiteral("bin/dorvel")), {QStringLiteral("--version")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("dorvel " DORVEL_VERSION "\n"));
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
        QVERIFY(dir.isValid());
        const QString root = dir.filePath(QStringLiteral("sand box"));
        // The installed demo generator finds the installed stand-in through its own link.
        const Run gen = run(installed(QStringLiteral("bin/dorvel-demo")),
                            {root, QStringLiteral("--entries"), QStringLiteral("0"),
                             QStringLiteral("--language"), QStringLiteral("eng")});
        QVERIFY2(gen.status == 0, gen.err.constData());
        QVERIFY(QDir().mkpath(root + QStringLiteral("/config/Nocturo")));
        QSettings(root + QStringLiteral("/config/Nocturo/Nocturo.conf"), QSettings::IniFormat)
            .setValue(QStringLiteral("StartUp/ByteOnOff"), QStringLiteral("1"));
        const QString stateLog = root + QStringLiteral("/state/Dorvel/Dorvel.log");
        QVERIFY(QDir().mkpath(QFileInfo(stateLog).path()));
        {
            QFile old(stateLog);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("2026-12-01 08:00:00    Dorvel Log File started\n");
        }
        QVERIFY(QDir().mkpath(root + QStringLiteral("/run")));
        QFile::setPermissions(root + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                 QFileDevice::WriteOwner |
                                                                 QFileDevice::ExeOwner);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("JOURNAL_STREAM"));

        // A copy of the installed tree, so that its program folder may be taken away from us.
        const QString prefix = dir.filePath(QStringLiteral("usr"));
        QVERIFY(run(QStringLiteral("cp"), {QStringLiteral("-a"), m_prefix, prefix}).status == 0);
        const QString programFolder = prefix + QStringLiteral("/lib/dorvel");
        QString program = prefix + QStringLiteral("/bin/dorvel");
        QStringList args = {QStringLiteral("cmos"), QStringLiteral("--simulate-power"),
                            QStringLiteral("--quit-when-idle")};
        if (!folderWritable) {
            QVERIFY(QFile::setPermissions(programFolder,
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther));
            if (geteuid() == 0) {
                // Root writes anywhere: run as an ordinary user, the owner of the sandbox.
                QVERIFY(QFile::setPermissions(dir.path(),
                                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther));
                QCOMPARE(run(QStringLiteral("chown"),
                             {QStringLiteral("-R"), QStringLiteral("65534:65534"), root})
                             .status,
                         0);
                args.prepend(program);
                args = QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                   QStringLiteral("--clear-groups"), QStringLiteral("--")} +
                       args;
                program = QStringLiteral("setpriv");
                env.insert(QStringLiteral("HOME"), root);
            }
        }
        const Run r = run(program, args, env, 60000);
        QVERIFY2(r.status == 0, (r.out + r.err).constData());

        const QString folderLog = programFolder + QStringLiteral("/Dorvel.log");
        const QString log = folderWritable ? folderLog : stateLog;
        QVERIFY2(readFile(log).contains("   Dorvel started with Nocturo=on\n"),
                 readFile(log).constData());
        if (folderWritable) {
            QVERIFY(readFile(folderLog).contains("    Dorvel Log File started\n"));
        } else {
            QVERIFY(!QFileInfo::exists(folderLog));
            // The older version's line is kept; no second header.
            QVERIFY(
                readFile(stateLog).startsWith("2026-12-01 08:00:00    Dorvel Log File started\n"));
            QCOMPARE(readFile(stateLog).count("Log File started"), 1);
        }
        // The same event reaches standard error with its level, for the journal.
        QVERIFY2(r.err.contains("dorvel: info: ") &&
                     r.err.contains("   Dorvel started with Nocturo=on"),
                 r.err.constData());
        QFile::setPermissions(programFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner);
    }

    // One instance per user, whichever copy of the program is started.
    void installedBesideTheBuild()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath(QStringLiteral("box"));
        QVERIFY(run(installed(QStringLiteral("bin/dorvel-demo")),
                    {root, QStringLiteral("--entries"), QStringLiteral("0")})
                    .status == 0);
        // No event log: the build's folder must stay clean.
        QSettings(root + QStringLiteral("/config/Dorvel/Dorvel.conf"), QSettings::IniFormat)
            .setValue(QStringLiteral("Startup/SaveLog"), QStringLiteral("0"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/run")));
        QFile::setPermissions(root + QStringLiteral("/run"), QFileDevice::ReadOwner |
                                                                 QFileDevice::WriteOwner |
                                                                 QFileDevice::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), root + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), root + QStringLiteral("/state"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/run"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("DISPLAY"));

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(QStringLiteral(DORVEL_EXE),
                    {QStringLiteral("--simulate-power"), QStringLiteral("--mirror-activity")});
        QVERIFY(first.waitForStarted(10000));
        QByteArray seen;
        while (!seen.contains("Logfile:") && first.state() == QProcess::Running &&
               first.waitForReadyRead(30000))
            seen += first.readAllStandardOutput();
        QVERIFY2(seen.contains("Logfile:"), seen.constData());

        const Run second = run(installed(QStringLiteral("bin/dorvel")),
                               {QStringLiteral("--simulate-power")}, env, 30000);
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
        const QString out = m_tmp.filePath(QStringLiteral("package"));
        const Run c =
            run(QStringLiteral(CPACK_COMMAND),
                {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                 QStringLiteral(BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out},
                QProcessEnvironment::systemEnvironment(), 300000);
        QVERIFY2(c.status == 0, (c.out + c.err).constData());
        const QStringList debs = QDir(out).entryList({QStringLiteral("dorvel_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        const QString deb = out + QLatin1Char('/') + debs.first();

        const Run fields =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Package"),
                                             QStringLiteral("Version"), QStringLiteral("Depends")});
        QCOMPARE(fields.status, 0);
        QVERIFY(fields.out.contains("Package: dorvel\n"));
        QVERIFY(fields.out.contains("Version: " DORVEL_VERSION "\n"));
        for (const char* dependency : {"libc6", "libqt6core6", "libqt6widgets6", "libqt6dbus6",
                                       "libqt6sql6-sqlite", "libqt6svg6"})
            QVERIFY2(fields.out.contains(dependency), fields.out.constData());

        const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QCOMPARE(contents.status, 0);
        for (const QByteArray& line : contents.out.split('\n'))
            QVERIFY2(line.isEmpty() || line.contains(" root/root "), line.constData());

        const QString scratch = m_tmp.filePath(QStringLiteral("scratch root"));
        QCOMPARE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, scratch}).status, 0);
        QCOMPARE(tree(scratch + QStringLiteral("/usr")), tree(m_prefix));
        const Run v =
            run(scratch + QStringLiteral("/usr/bin/dorvel"), {QStringLiteral("--version")});
        QCOMPARE(v.status, 0);
        QCOMPARE(v.out, QByteArray("dorvel " DORVEL_VERSION "\n"));

        // Its dependencies can be met on this system, as "apt install ./dorvel_*.deb" needs.
        const Run apt =
            run(QStringLiteral("apt-get"),
                {QStringLiteral("install"), QStringLiteral("-s"), QStringLiteral("-q"), deb});
        QVERIFY2(apt.status == 0, (apt.out + apt.err).constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
