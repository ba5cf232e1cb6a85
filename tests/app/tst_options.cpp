// The command line of dorvel: which arguments run the program, --help, --version and the
// refusal of unknown options, on the rules and on the real executable.

#include "options.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace dorvel;

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
        QTest::newRow("nothing") << QStringList{} << Outcome::Run << "";
        QTest::newRow("autostart line") << QStringList{"min", "cmos"} << Outcome::Run << "";
        QTest::newRow("all options")
            << QStringList{"--simulate-power", "--mirror-activity", "--quit-when-idle"}
            << Outcome::Run << "";
        // The switches stay substrings of the whole command line, dashes or not.
        QTest::newRow("-min") << QStringList{"-min"} << Outcome::Run << "";
        QTest::newRow("--Minimised") << QStringList{"--Minimised"} << Outcome::Run << "";
        QTest::newRow("/CMOS") << QStringList{"/CMOS"} << Outcome::Run << "";
        QTest::newRow("Notmin") << QStringList{"Notmin"} << Outcome::Run << "";
        QTest::newRow("other word") << QStringList{"later"} << Outcome::Run << "";
        QTest::newRow("unknown") << QStringList{"min", "--simulate"} << Outcome::Unknown
                                 << "--simulate";
        QTest::newRow("letter case counts for options")
            << QStringList{"--Simulate-Power"} << Outcome::Unknown << "--Simulate-Power";
        QTest::newRow("option with a value")
            << QStringList{"--simulate-power=1"} << Outcome::Unknown << "--simulate-power=1";
        QTest::newRow("single dash") << QStringList{"-"} << Outcome::Unknown << "-";
        QTest::newRow("Qt's own") << QStringList{"-platform", "xcb"} << Outcome::Unknown
                                  << "-platform";
        QTest::newRow("help") << QStringList{"min", "--help"} << Outcome::Help << "";
        QTest::newRow("-h") << QStringList{"-h"} << Outcome::Help << "";
        // The readiness report needs no display and starts no scheduler.
        QTest::newRow("check power")
            << QStringList{"min", "--check-power"} << Outcome::CheckPower << "";
        QTest::newRow("version") << QStringList{"--version", "--help"} << Outcome::Version << "";
        QTest::newRow("unknown before help")
            << QStringList{"--bogus", "--help"} << Outcome::Unknown << "--bogus";
    }
    void check()
    {
        QFETCH(QStringList, args);
        QFETCH(Outcome, outcome);
        QFETCH(QString, unknown);
        const OptionsCheck got = checkOptions(args);
        QCOMPARE(got.outcome, outcome);
        QCOMPARE(got.unknown, unknown);
    }

    // An option that contained a switch word would switch on "min" or "cmos" as well.
    void noOptionIsASwitch()
    {
        for (const ProgramOption& option : programOptions()) {
            for (const QString& name : option.names) {
                QVERIFY2(!name.contains(QLatin1String("min"), Qt::CaseInsensitive) &&
                             !name.contains(QLatin1String("cmos"), Qt::CaseInsensitive),
                         qPrintable(name));
                QVERIFY2(checkOptions({name}).outcome != Outcome::Unknown, qPrintable(name));
            }
        }
    }

    // The help of the real program names every option that is accepted, and accepts every
    // option it names.
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
        named.sort();
        accepted.sort();
        QCOMPARE(named, accepted);
        for (const char* expected : {"  min ", "  cmos ", "Dorvel.conf", "Dorvel.log",
                                     "autostart/Dorvel.desktop", "/Nocturo.exe"})
            QVERIFY2(r.out.contains(QLatin1String(expected)), expected);
    }

    void versionAndRefusal_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("dorvel %1\n").arg(DORVEL_VERSION) << "";
        QTest::newRow("unknown") << QStringList{"min", "--simulate"} << 2 << ""
                                 << "dorvel: unknown option '--simulate'\n"
                                    "Try 'dorvel --help' for the switches and options.\n";
    }
    void versionAndRefusal()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Run r = runDorvel(args);
        QCOMPARE(r.status, status);
        QCOMPARE(r.out, out);
        QCOMPARE(r.err, err);
    }
};

QTEST_GUILESS_MAIN(TestOptions)
#include "tst_options.moc"
