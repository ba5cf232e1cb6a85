// The command line: which arguments run the program, --help, --version and the refusal of
// unknown options, on the rules and on the real executable.

#include "options.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace dorvel;
using namespace Qt::StringLiterals;

namespace {

using Outcome = OptionsCheck::Outcome;

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run runDorvel(const QStringList& args)
{
    QProcess p;
    // No display at all: these answers must not need one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(DORVEL_EXE), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

} // namespace

Q_DECLARE_METATYPE(OptionsCheck::Outcome)

class TestOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void check_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("unknown");
        QTest::addRow("autostart line") << QStringList{"min", "cmos"} << Outcome::Run << "";
        QTest::addRow("all options")
            << QStringList{"--simulate-power", "--mirror-activity", "--quit-when-idle"}
            << Outcome::Run << "";
        // The switches stay substrings of the whole command line, dashes or not.
        QTest::addRow("--Minimised") << QStringList{"--Minimised"} << Outcome::Run << "";
        QTest::addRow("/CMOS") << QStringList{"/CMOS"} << Outcome::Run << "";
        QTest::addRow("other word") << QStringList{"later"} << Outcome::Run << "";
        QTest::addRow("unknown") << QStringList{"min", "--simulate"} << Outcome::Unknown
                                 << "--simulate";
        QTest::addRow("letter case counts for options")
            << QStringList{"--Simulate-Power"} << Outcome::Unknown << "--Simulate-Power";
        QTest::addRow("option with a value")
            << QStringList{"--simulate-power=1"} << Outcome::Unknown << "--simulate-power=1";
        QTest::addRow("single dash") << QStringList{"-"} << Outcome::Unknown << "-";
        QTest::addRow("Qt's own") << QStringList{"-platform", "xcb"} << Outcome::Unknown
                                  << "-platform";
        QTest::addRow("help") << QStringList{"min", "--help"} << Outcome::Help << "";
        // The readiness report needs no display and starts no scheduler.
        QTest::addRow("check power")
            << QStringList{"min", "--check-power"} << Outcome::CheckPower << "";
        QTest::addRow("version") << QStringList{"--version", "--help"} << Outcome::Version << "";
        QTest::addRow("unknown before help")
            << QStringList{"--bogus", "--help"} << Outcome::Unknown << "--bogus";
    }
    void check()
    {
        QFETCH(QStringList, args);
        const OptionsCheck got = checkOptions(args);
        QTEST(got.outcome, "outcome");
        QTEST(got.unknown, "unknown");
    }

    // The help of the real program names every option that is accepted, and accepts every
    // option it names; no option contains a switch word, which would switch "min" or "cmos" on.
    void helpNamesEveryOption()
    {
        const Run r = runDorvel({QStringLiteral("--help")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QString());
        QStringList named;
        const QRegularExpression token(QStringLiteral("(?:^|[ ,])(-{1,2}[a-z][a-z-]*)"));
        for (const QString& line : r.out.split(QLatin1Char('\n'))) {
            if (!line.startsWith(QLatin1String("  -")))
                continue;
            auto it = token.globalMatch(line.left(24));
            while (it.hasNext())
                named << it.next().captured(1);
        }
        QStringList accepted;
        for (const ProgramOption& option : programOptions())
            accepted += option.names;
        for (const QString& name : accepted)
            QVERIFY2(!name.contains(u"min"_s, Qt::CaseInsensitive) &&
                         !name.contains(u"cmos"_s, Qt::CaseInsensitive) &&
                         checkOptions({name}).outcome != Outcome::Unknown,
                     qPrintable(name));
        named.sort();
        accepted.sort();
        QCOMPARE(named, accepted);
    }

    void versionAndRefusal_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("dorvel %1\n").arg(DORVEL_VERSION) << "";
        QTest::addRow("unknown") << QStringList{"min", "--simulate"} << 2 << ""
                                 << "dorvel: unknown option '--simulate'\n"
                                    "Try 'dorvel --help' for the switches and options.\n";
    }
    void versionAndRefusal()
    {
        QFETCH(QStringList, args);
        const Run r = runDorvel(args);
        QTEST(r.status, "status");
        QTEST(r.out, "out");
        QTEST(r.err, "err");
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
