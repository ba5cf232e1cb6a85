// A real copy of the stand-in viewer named Orbivu.EXE: it records where its settings.ini says,
// never overwrites, refuses an unusable folder and answers close requests.

#include "programs.h"
#include "startup.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using dorvel::test::readFile;

namespace {

constexpr int kWaitMs = 20000; // a failure limit for slow machines, not a speed check
constexpr int kPacket = 188;

// Whole packets, each opening with the sync byte.
bool isStream(const QByteArray& data)
{
    for (qsizetype at = 0; at < data.size(); at += kPacket)
        if (data[at] != 0x47)
            return false;
    return data.size() % kPacket == 0;
}

} // namespace

class TestStandin : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestStandin::run_data()
{
    QTest::addColumn<QByteArray>("ini"); // "@" is the temporary folder; null: no settings.ini
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("closes");   // 0: none; 2: the first one is ignored
    QTest::addColumn<QString>("file"); // the recording made; none: a failed recording

    // Read by position, quotes removed, the last one with the key's letter case wins.
    const QByteArray ini =
        "RecordDirectory=@/x\r\nA=1, \"RecordDirectory=@/rec\" ,recorddirectory=@/x";
    const QStringList longOne = {"/close", "/record=30", "/channel=1", "/file=Lang"};
    QTest::newRow("scheduler order, slash in the stem")
        << ini << QStringList{"/close",     "/priority=high", "/streamonly", "/tray",
                              "/delay=500", "/record=1",      "/channel=3",  "/file=Teil_1/2"}
        << 0 << "Teil_1#2.ts";
    QTest::newRow("name taken, gap used; later switch wins, any case")
        << ini << QStringList{"/file=Old", "/Record=1", "/FILE=Film"} << 0 << "Film_dup1.ts";
    QTest::newRow("closed while recording") << ini << longOne << 1 << "Lang.ts";
    QTest::newRow("first close ignored") << ini << longOne << 2 << "Lang.ts";
    QTest::newRow("not recording, first close ignored") << ini << QStringList{"/tray"} << 2 << "";
    for (const char* bad : {"", "PrerecordMinutes=1", "RecordDirectory=@/nowhere",
                            "RecordDirectory=@/viewer/Orbivu.EXE"})
        QTest::newRow(*bad ? bad : "no settings.ini")
            << (*bad ? QByteArray(bad) : QByteArray()) << QStringList{"/record=1", "/file=Film"}
            << 0 << "";
}

void TestStandin::run()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, args);
    QFETCH(int, closes);
    QFETCH(QString, file);
    QTemporaryDir tmp;
    const QString rec = tmp.path() + "/rec", viewer = tmp.path() + "/viewer";
    QVERIFY(QDir().mkpath(rec) && QDir().mkpath(viewer) &&
            QFile::copy(STANDIN_EXE, viewer + "/Orbivu.EXE"));
    QFile settings(viewer + "/settings.ini");
    ini.replace('@', tmp.path().toUtf8());
    QVERIFY(ini.isNull() || (settings.open(QIODevice::WriteOnly) && settings.write(ini) > 0));
    settings.close();
    // Earlier recordings, to be kept as they are.
    QVERIFY(QFile::copy(STANDIN_EXE, rec + "/Film.ts") &&
            QFile::copy(STANDIN_EXE, rec + "/Film_dup2.ts"));
    const auto log = [&] {
        return QString::fromUtf8(readFile(viewer + "/standin.log")).split('\n', Qt::SkipEmptyParts);
    };
    QProcess p;
    QByteArray err;
    // Thirty minutes of recording last far beyond the waits below when a minute takes one.
    qputenv("ORBIVU_STANDIN_SECONDS_PER_MINUTE", closes ? "60" : "1");
    qputenv("ORBIVU_STANDIN_IGNORE_FIRST_CLOSE", closes == 2 ? "1" : "0");
    connect(&p, &QProcess::readyReadStandardError, this, [&] { err += p.readAllStandardError(); });
    p.start(viewer + "/Orbivu.EXE", args);
    QVERIFY(p.waitForStarted(kWaitMs));
    for (int left = closes; left > 0; --left) {
        // The start line is written once close requests are handled.
        QTRY_VERIFY_WITH_TIMEOUT(
            log().size() == 1 &&
                (file.isEmpty() || QFileInfo(rec + '/' + file).size() >= 2 * kPacket),
            kWaitMs);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGTERM);
        if (left > 1)
            QTRY_VERIFY_WITH_TIMEOUT(err.contains("close request ignored"), kWaitMs);
    }
    QVERIFY(p.waitForFinished(kWaitMs) && p.exitStatus() == QProcess::NormalExit);
    QCOMPARE(p.exitCode(), closes == 0 && file.isEmpty() ? 2 : 0);
    QCOMPARE(err.count("close request ignored"), closes == 2 ? 1 : 0);
    QCOMPARE(QDir(rec).entryList(QDir::Files).size(), file.isEmpty() ? 2 : 3);
    QCOMPARE(readFile(rec + "/Film.ts") + readFile(rec + "/Film_dup2.ts"),
             readFile(STANDIN_EXE).repeated(2));
    const QByteArray data = readFile(rec + '/' + file);
    QVERIFY(file.isEmpty() || (isStream(data) && data.size() >= 2 * kPacket));
    // The end line tells why; the viewer records where the scheduler looks for recordings.
    const QString end = closes           ? "closed by SIGTERM"
                        : file.isEmpty() ? "after 1 min, failed: "
                                         : "recorded 1 min";
    QVERIFY2(log().size() == 2 && log()[1].contains(" ended " + end), qPrintable(log().join('\n')));
    QVERIFY(file.isEmpty() || dorvel::ViewerIni::parse(ini).recordDirectory == rec + '/');
}

QTEST_GUILESS_MAIN(TestStandin)
#include "tst_standin.moc"
