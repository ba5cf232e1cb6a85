// The stand-in viewer: its switches, its record folder, the stream it writes, its log and how
// it answers close requests. The process tests run a real copy named Orbivu.EXE.

#include "standinoptions.h"
#include "startup.h"
#include "transportstream.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <limits>

using namespace dorvel::standin;

namespace {

constexpr int kNone = std::numeric_limits<int>::min();
constexpr int kWaitMs = 20000; // a failure limit for slow machines, not a speed check

int orNone(const std::optional<int>& v)
{
    return v.value_or(kNone);
}

// A viewer folder with a real copy of the stand-in and a record folder beside it.
struct ViewerDir {
    QTemporaryDir tmp;
    QString folder;
    QString exe;
    QString recordings;

    explicit ViewerDir(const QByteArray& ini = QByteArray())
    {
        folder = tmp.path() + QStringLiteral("/viewer");
        recordings = tmp.path() + QStringLiteral("/rec");
        exe = folder + QStringLiteral("/Orbivu.EXE");
        QDir().mkpath(folder);
        QDir().mkpath(recordings);
        QFile::copy(QStringLiteral(STANDIN_EXE), exe);
        writeIni(ini.isNull() ? "Language=Deutsch\r\nRecordDirectory=" + recordings.toUtf8() +
                                    "\r\nPrerecordMinutes=1\r\n"
                              : ini);
    }
    void writeIni(const QByteArray& content) const
    {
        QFile f(folder + QStringLiteral("/settings.ini"));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
    }
    QStringList logLines() const
    {
        QFile f(folder + QStringLiteral("/standin.log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QStringList recorded() const { return QDir(recordings).entryList(QDir::Files, QDir::Name); }
};

struct Run {
    QProcess process;
    QByteArray err;

    Run(const ViewerDir& dir, const QStringList& args, const QMap<QString, QString>& env = {})
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.remove(QStringLiteral("ORBIVU_STANDIN_IGNORE_FIRST_CLOSE"));
        e.insert(QStringLiteral("ORBIVU_STANDIN_SECONDS_PER_MINUTE"), QStringLiteral("1"));
        for (auto it = env.begin(); it != env.end(); ++it)
            e.insert(it.key(), it.value());
        process.setProcessEnvironment(e);
        QObject::connect(&process, &QProcess::readyReadStandardError,
                         [this] { err += process.readAllStandardError(); });
        process.start(dir.exe, args);
    }
    ~Run()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    void signal(int sig) const { ::kill(pid_t(process.processId()), sig); }
};

// Checks that data is a whole number of well-formed packets with continuous counters per PID
// and returns the number of packets.
int checkStream(const QByteArray& data)
{
    if (data.size() % TransportStream::kPacketSize != 0) {
        qWarning("size %lld is not a multiple of 188", qlonglong(data.size()));
        return -1;
    }
    QMap<int, int> counters;
    const int packets = int(data.size() / TransportStream::kPacketSize);
    for (int i = 0; i < packets; ++i) {
        const auto* p = reinterpret_cast<const quint8*>(data.constData()) +
                        qsizetype(i) * TransportStream::kPacketSize;
        if (p[0] != TransportStream::kSyncByte) {
            qWarning("packet %d has no sync byte", i);
            return -1;
        }
        const int pid = ((p[1] & 0x1f) << 8) | p[2];
        const int cc = p[3] & 0x0f;
        if (counters.contains(pid) && cc != ((counters[pid] + 1) & 0x0f)) {
            qWarning("packet %d: counter %d after %d on PID %d", i, cc, counters[pid], pid);
            return -1;
        }
        counters[pid] = cc;
    }
    return packets;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestStandin : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void recordDirectory_data();
    void recordDirectory();
    void stem_data();
    void stem();
    void secondsPerMinute_data();
    void secondsPerMinute();
    void tableChecksums();
    void records_data();
    void records();
    void neverOverwrites_data();
    void neverOverwrites();
    void recordFolderUnusable_data();
    void recordFolderUnusable();
    void closeRequests_data();
    void closeRequests();
};

void TestStandin::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("record");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("flags"); // c = close, p = priority high, s = streamonly, t = tray
    QTest::addColumn<int>("problems");

    const QStringList full = {"/close",     "/priority=high", "/streamonly", "/tray",
                              "/delay=500", "/record=95",     "/channel=12", "/file=Nachrichten"};
    QTest::newRow("scheduler order") << full << 95 << 12 << 500 << "Nachrichten"
                                     << "cpst" << 0;
    QStringList reversed = full;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("reversed") << reversed << 95 << 12 << 500 << "Nachrichten"
                              << "cpst" << 0;
    QTest::newRow("minimal") << QStringList{"/record=5", "/channel=1"} << 5 << 1 << kNone << ""
                             << "" << 0;
    QTest::newRow("letter case") << QStringList{"/RECORD=7", "/Channel=2", "/CLOSE",
                                                "/Priority=HIGH"}
                                 << 7 << 2 << kNone << ""
                                 << "cp" << 0;
    QTest::newRow("unknown switches") << QStringList{"/fullscreen",  "record=3", "--record=4",
                                                     "/recording=5", "/closer",  "/record=6"}
                                      << 6 << kNone << kNone << ""
                                      << "" << 0;
    QTest::newRow("missing values") << QStringList{"/record=", "/channel=", "/delay=", "/file="}
                                    << kNone << kNone << kNone << ""
                                    << "" << 3;
    QTest::newRow("unusable values")
        << QStringList{"/record=abc", "/record=-1", "/channel=12a", "/record=5.5"} << kNone << kNone
        << kNone << ""
        << "" << 4;
    QTest::newRow("negative delay") << QStringList{"/delay=-250"} << kNone << kNone << -250 << ""
                                    << "" << 0;
    QTest::newRow("later switch wins")
        << QStringList{"/record=5", "/file=A", "/record=6", "/file=B"} << 6 << kNone << kNone << "B"
        << "" << 0;
    QTest::newRow("value with blanks and equals")
        << QStringList{"/file=Die Sendung=gut"} << kNone << kNone << kNone << "Die Sendung=gut"
        << "" << 0;
    QTest::newRow("priority other than high")
        << QStringList{"/priority=low"} << kNone << kNone << kNone << ""
        << "" << 0;
}

void TestStandin::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, record);
    QFETCH(int, channel);
    QFETCH(int, delay);
    QFETCH(QString, file);
    QFETCH(QString, flags);
    QFETCH(int, problems);

    const Options o = Options::parse(args);
    QCOMPARE(orNone(o.recordMinutes), record);
    QCOMPARE(orNone(o.channel), channel);
    QCOMPARE(orNone(o.delay), delay);
    QCOMPARE(o.fileStem, file);
    QCOMPARE(o.close, flags.contains(QLatin1Char('c')));
    QCOMPARE(o.priorityHigh, flags.contains(QLatin1Char('p')));
    QCOMPARE(o.streamOnly, flags.contains(QLatin1Char('s')));
    QCOMPARE(o.tray, flags.contains(QLatin1Char('t')));
    QCOMPARE(o.problems.size(), problems);
}

void TestStandin::recordDirectory_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("RecordDirectory=/srv/rec/\n") << "/srv/rec/";
    QTest::newRow("slash appended, CR LF")
        << QByteArray("A=1\r\nRecordDirectory=/srv/rec\r\nB=2\r\n") << "/srv/rec/";
    QTest::newRow("quoted field among commas")
        << QByteArray("X=1, \"RecordDirectory=/srv/Aufnahmen Süd\" ,Y=2\r\n")
        << "/srv/Aufnahmen Süd/";
    QTest::newRow("last occurrence wins")
        << QByteArray("RecordDirectory=/a\nRecordDirectory=/b\n") << "/b/";
    QTest::newRow("missing") << QByteArray("PrerecordMinutes=1\r\n") << "";
    QTest::newRow("empty value") << QByteArray("RecordDirectory=\r\n") << "";
    QTest::newRow("letter case of the key counts") << QByteArray("recorddirectory=/a\n") << "";
    // The value is taken by position, as the scheduler does: a prefix shifts it.
    QTest::newRow("key inside a longer field") << QByteArray("MyRecordDirectory=/a\n") << "y=/a/";
    QTest::newRow("no final line end") << QByteArray("RecordDirectory=/srv/rec") << "/srv/rec/";
}

void TestStandin::recordDirectory()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    QCOMPARE(recordDirectoryFromIni(ini), expected);
    // The viewer must record where the scheduler looks for existing recordings.
    QCOMPARE(recordDirectoryFromIni(ini), dorvel::ViewerIni::parse(ini).recordDirectory);
}

void TestStandin::stem_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("expected");

    QTest::newRow("given") << QStringList{"/file=Nachrichten"} << "Nachrichten";
    QTest::newRow("slash cannot leave the folder")
        << QStringList{"/file=../../etc/x"} << "..#..#etc#x";
    QTest::newRow("umlauts and quotes kept")
        << QStringList{"/file=Der_\"große\"_Preis"} << "Der_\"große\"_Preis";
    QTest::newRow("generated") << QStringList{"/channel=12"} << "Orbivu_12_20261025_023005";
    QTest::newRow("generated without channel") << QStringList{} << "Orbivu_0_20261025_023005";
    QTest::newRow("empty file value")
        << QStringList{"/file=", "/channel=3"} << "Orbivu_3_20261025_023005";
}

void TestStandin::stem()
{
    QFETCH(QStringList, args);
    QFETCH(QString, expected);
    // In the hour that occurs twice when the clocks go back.
    const QDateTime start(QDate(2026, 10, 25), QTime(2, 30, 5));
    QCOMPARE(recordingStem(Options::parse(args), start), expected);
}

void TestStandin::secondsPerMinute_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<double>("expected");
    QTest::addColumn<bool>("problem");

    QTest::newRow("unset") << QByteArray() << 60.0 << false;
    QTest::newRow("one") << QByteArray("1") << 1.0 << false;
    QTest::newRow("fraction") << QByteArray("0.25") << 0.25 << false;
    QTest::newRow("zero") << QByteArray("0") << 60.0 << true;
    QTest::newRow("negative") << QByteArray("-1") << 60.0 << true;
    QTest::newRow("text") << QByteArray("fast") << 60.0 << true;
    QTest::newRow("not finite") << QByteArray("inf") << 60.0 << true;
}

void TestStandin::secondsPerMinute()
{
    QFETCH(QByteArray, env);
    QFETCH(double, expected);
    QFETCH(bool, problem);
    QString text;
    QCOMPARE(dorvel::standin::secondsPerMinute(env, &text), expected);
    QCOMPARE(!text.isEmpty(), problem);
}

void TestStandin::tableChecksums()
{
    QCOMPARE(TransportStream::crc32("123456789"), 0x0376e6e7u);
    TransportStream stream;
    const QByteArray data = stream.packets(2);
    for (int i = 0; i < 2; ++i) {
        const QByteArray packet =
            data.mid(i * TransportStream::kPacketSize, TransportStream::kPacketSize);
        const int pointer = quint8(packet.at(4));
        const int length =
            ((quint8(packet.at(6 + pointer)) & 0x0f) << 8) | quint8(packet.at(7 + pointer));
        // A section followed by its own CRC checks to zero.
        QCOMPARE(TransportStream::crc32(packet.mid(5 + pointer, 3 + length)), 0u);
    }
}

void TestStandin::records_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file"); // a pattern for the one file made

    const QStringList full = {"/close",     "/priority=high", "/streamonly", "/tray",
                              "/delay=500", "/record=1",      "/channel=3",  "/file=Nachrichten"};
    QTest::newRow("scheduler order") << full << "Nachrichten\\.ts";
    QTest::newRow("any order") << QStringList{"/file=Nachrichten", "/record=1", "/tray",
                                              "/channel=3", "/close"}
                               << "Nachrichten\\.ts";
    QTest::newRow("generated name")
        << QStringList{"/close", "/record=1", "/channel=7"} << "Orbivu_7_\\d{8}_\\d{6}\\.ts";
    QTest::newRow("stem with a slash")
        << QStringList{"/record=1", "/file=Teil_1/2"} << "Teil_1#2\\.ts";
    QTest::newRow("stem with umlauts and quotes")
        << QStringList{"/record=1", "/file=Der_\"große\"_Preis"} << "Der_\"große\"_Preis\\.ts";
    QTest::newRow("two minutes") << QStringList{"/record=2", "/file=Lang"} << "Lang\\.ts";
    QTest::newRow("zero minutes") << QStringList{"/record=0", "/file=Leer"} << "Leer\\.ts";
}

void TestStandin::records()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    ViewerDir dir;
    Run run(dir, args);
    QVERIFY(run.process.waitForFinished(kWaitMs));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);

    const QStringList files = dir.recorded();
    QCOMPARE(files.size(), 1);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(file))
                 .match(files.first())
                 .hasMatch(),
             qPrintable(files.first()));
    const QByteArray data = readFile(dir.recordings + QLatin1Char('/') + files.first());
    const int packets = checkStream(data);
    QVERIFY(packets >= 0);
    if (Options::parse(args).recordMinutes.value_or(0) > 0) {
        QVERIFY(packets > 0);
        // The tables come first, so that a player can open the file from its beginning.
        QCOMPARE(quint8(data.at(1)) & 0x1f, 0);
        QCOMPARE(quint8(data.at(2)), 0);
    }

    const QStringList log = dir.logLines();
    QCOMPARE(log.size(), 2);
    const QRegularExpression start(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$"));
    const auto m = start.match(log.at(0));
    QVERIFY2(m.hasMatch(), qPrintable(log.at(0)));
    QCOMPARE(m.captured(1), args.join(QLatin1Char(' ')));
    QVERIFY2(log.at(1).contains(QStringLiteral(" ended recorded ")), qPrintable(log.at(1)));
    // The end line reports the file as it is on disk: written out before the line.
    QVERIFY2(
        log.at(1).contains(QStringLiteral("%1 (%2 bytes)").arg(files.first()).arg(data.size())),
        qPrintable(log.at(1)));
    QVERIFY(run.err.isEmpty() || !run.err.contains("cannot"));
}

void TestStandin::neverOverwrites_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name taken") << QStringList{"Film.ts"} << "Film_dup1.ts";
    QTest::newRow("first duplicate taken too")
        << QStringList{"Film.ts", "Film_dup1.ts"} << "Film_dup2.ts";
    QTest::newRow("gap is used") << QStringList{"Film.ts", "Film_dup2.ts"} << "Film_dup1.ts";
    QTest::newRow("folder with the name") << QStringList{"Film.ts/"} << "Film_dup1.ts";
}

void TestStandin::neverOverwrites()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    ViewerDir dir;
    for (const QString& name : existing) {
        if (name.endsWith(QLatin1Char('/'))) {
            QDir(dir.recordings).mkdir(name);
            continue;
        }
        QFile f(dir.recordings + QLatin1Char('/') + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep " + name.toUtf8());
    }
    Run run(dir, {"/close", "/record=1", "/channel=1", "/file=Film"});
    QVERIFY(run.process.waitForFinished(kWaitMs));
    QCOMPARE(run.process.exitCode(), 0);

    for (const QString& name : existing) {
        if (!name.endsWith(QLatin1Char('/')))
            QCOMPARE(readFile(dir.recordings + QLatin1Char('/') + name), "keep " + name.toUtf8());
    }
    const QByteArray data = readFile(dir.recordings + QLatin1Char('/') + expected);
    QVERIFY(checkStream(data) > 0);
    const QStringList log = dir.logLines();
    QCOMPARE(log.size(), 2);
    QVERIFY2(log.at(1).contains(QStringLiteral("Film.ts existed, wrote %1").arg(expected)),
             qPrintable(log.at(1)));
}

void TestStandin::recordFolderUnusable_data()
{
    QTest::addColumn<QByteArray>("ini"); // "@" stands for the temporary folder
    QTest::addColumn<bool>("iniExists");

    QTest::newRow("no settings.ini") << QByteArray() << false;
    QTest::newRow("no RecordDirectory") << QByteArray("PrerecordMinutes=1\r\n") << true;
    QTest::newRow("empty RecordDirectory") << QByteArray("RecordDirectory=\r\n") << true;
    QTest::newRow("folder missing") << QByteArray("RecordDirectory=@/nowhere\r\n") << true;
    QTest::newRow("a file, not a folder")
        << QByteArray("RecordDirectory=@/viewer/settings.ini\r\n") << true;
}

void TestStandin::recordFolderUnusable()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, iniExists);
    ViewerDir dir;
    if (iniExists)
        dir.writeIni(QByteArray(ini).replace('@', dir.tmp.path().toUtf8()));
    else
        QVERIFY(QFile::remove(dir.folder + QStringLiteral("/settings.ini")));

    Run run(dir, {"/close", "/record=1", "/channel=1", "/file=Film"});
    QVERIFY(run.process.waitForFinished(kWaitMs));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QVERIFY(run.process.exitCode() != 0);
    QVERIFY(!run.err.isEmpty());
    QVERIFY(dir.recorded().isEmpty());
    QVERIFY(!QFileInfo::exists(dir.tmp.path() + QStringLiteral("/nowhere")));
    const QStringList log = dir.logLines();
    QCOMPARE(log.size(), 2);
    QVERIFY2(log.at(1).contains(QStringLiteral(" ended after 1 min, failed: ")),
             qPrintable(log.at(1)));
}

void TestStandin::closeRequests_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ignoreFirst");

    const QStringList recording = {"/close", "/record=30", "/channel=1", "/file=Lang"};
    QTest::newRow("recording, one request") << recording << false;
    QTest::newRow("recording, first request ignored") << recording << true;
    QTest::newRow("no recording, one request") << QStringList{"/channel=1"} << false;
    QTest::newRow("no recording, first request ignored") << QStringList{} << true;
}

void TestStandin::closeRequests()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ignoreFirst);
    const bool recording = Options::parse(args).recordMinutes.has_value();
    ViewerDir dir;
    QMap<QString, QString> env{{"ORBIVU_STANDIN_SECONDS_PER_MINUTE", "60"}};
    if (ignoreFirst)
        env.insert(QStringLiteral("ORBIVU_STANDIN_IGNORE_FIRST_CLOSE"), QStringLiteral("1"));
    Run run(dir, args, env);
    QVERIFY(run.process.waitForStarted(kWaitMs));
    // The start line is written once close requests are handled.
    QTRY_COMPARE_WITH_TIMEOUT(dir.logLines().size(), 1, kWaitMs);
    const QString file = dir.recordings + QStringLiteral("/Lang.ts");
    if (recording)
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() >= 2 * TransportStream::kPacketSize,
                                 kWaitMs);

    if (ignoreFirst) {
        run.signal(SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(run.err.contains("close request ignored"), kWaitMs);
        QCOMPARE(run.process.state(), QProcess::Running);
        QCOMPARE(dir.logLines().size(), 1);
    }
    run.signal(SIGTERM);
    QVERIFY(run.process.waitForFinished(kWaitMs));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(run.err.count("close request ignored"), ignoreFirst ? 1 : 0);

    const QStringList log = dir.logLines();
    QCOMPARE(log.size(), 2);
    QVERIFY2(log.at(1).contains(QStringLiteral(" ended closed by SIGTERM")), qPrintable(log.at(1)));
    if (recording) {
        const QByteArray data = readFile(file);
        QVERIFY(checkStream(data) >= 2);
        QVERIFY2(log.at(1).contains(QStringLiteral("(%1 bytes)").arg(data.size())),
                 qPrintable(log.at(1)));
        QCOMPARE(dir.recorded(), QStringList{"Lang.ts"});
    } else {
        QVERIFY(dir.recorded().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestStandin)
#include "tst_standin.moc"
