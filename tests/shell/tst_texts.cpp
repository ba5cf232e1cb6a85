// The message table, the default date-time text form and the event log.

#include "clock.h"
#include "datetime.h"
#include "eventlog.h"
#include "fakes.h"
#include "messages.h"
#include "settings.h"
#include "standarderror.h"
#include "system.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace dorvel;

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void languageRule_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("timedOut");
        QTest::addColumn<QString>("waitingNext");
        QTest::newRow("eng") << "eng"
                             << "Timed out:  "
                             << "Waiting. Next recording at ";
        QTest::newRow("deu") << "deu"
                             << "Schon zu spät:  "
                             << "Abwarten. Nächste Aufnahme:";
        QTest::newRow("Eng") << "Eng"
                             << "Schon zu spät:  "
                             << "Abwarten. Nächste Aufnahme:";
        QTest::newRow("empty") << ""
                               << "Schon zu spät:  "
                               << "Abwarten. Nächste Aufnahme:";
    }
    void languageRule()
    {
        QFETCH(QString, language);
        QFETCH(QString, timedOut);
        QFETCH(QString, waitingNext);
        const MessageTable m = MessageTable::forLanguage(language);
        QCOMPARE(m.MsgTimedOut, timedOut);
        QCOMPARE(m.MsgWaitingNext, waitingNext);
        QCOMPARE(m.MsgDatabaseTooOld.count(QStringLiteral("\r\n")), 1);
        QCOMPARE(m.MsgDatabaseTooOld.count(QLatin1Char('\n')), 1);
    }

    void closeQuestionPieces()
    {
        const MessageTable e = MessageTable::forLanguage(QStringLiteral("eng"));
        QCOMPARE(e.MsgCloseQuestionHead + QString::number(3) + e.MsgCloseQuestionTail,
                 QStringLiteral("Close Dorvel (still 3 Recordings to do...)"));
        QCOMPARE(e.MsgRecordingsAdded, QStringLiteral(" Recordings added to ToDo list"));
        QCOMPARE(e.MsgNoReloadWhileRecording,
                 QStringLiteral("Orbivu is recording! Reload Recordings not possible"));
        const MessageTable g = MessageTable::forLanguage(QStringLiteral("deu"));
        QCOMPARE(
            g.MsgNoReloadWhileRecording,
            QStringLiteral("Orbivu Aufnahme läuft gerade! 'Lese Aufnahmen' ist nicht möglich!)"));
        QCOMPARE(g.MsgTooShort, QStringLiteral("Eintrag muss mehr als zwei Buchstaben lang sein!"));
    }

    void serialAnchors_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<double>("serial");
        QTest::newRow("origin") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
        QTest::newRow("sentinel") << QDateTime(QDate(9000, 1, 1), QTime(10, 0))
                                  << 2593224.4166666665;
        QTest::newRow("noon") << QDateTime(QDate(1900, 1, 1), QTime(12, 0)) << 2.5;
        // Wall-clock serials run straight through the spring-forward gap.
        QTest::newRow("before DST change")
            << QDateTime(QDate(2026, 3, 29), QTime(1, 30)) << 46110.0625;
        QTest::newRow("after DST change")
            << QDateTime(QDate(2026, 3, 29), QTime(3, 30)) << 46110.145833333336;
    }
    void serialAnchors()
    {
        QFETCH(QDateTime, time);
        QFETCH(double, serial);
        QVERIFY(qAbs(toDaySerial(time) - serial) < 1e-9);
        QCOMPARE(fromDaySerial(serial), time);
    }

    void defaultForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "2026-12-05 20:15:00" << true;
        QTest::newRow("midnight") << "2026-12-31 00:00:59" << true;
        QTest::newRow("leap day") << "2028-02-29 12:00:00" << true;
        QTest::newRow("31 February") << "2026-02-31 20:15:00" << false;
        QTest::newRow("hour 25") << "2026-12-05 25:00:00" << false;
        QTest::newRow("no seconds") << "2026-12-05 20:15" << false;
        QTest::newRow("garbage") << "tomorrow" << false;
    }
    void defaultForm()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const std::optional<double> s = parseDefault(text);
        QCOMPARE(bool(s), valid);
        if (s)
            QCOMPARE(formatDefault(*s), text);
    }

    // A serial that is a hair below a whole minute still shows that minute.
    void minuteArithmeticShowsWholeMinutes()
    {
        const double start = *parseDefault(QStringLiteral("2026-12-05 20:15:00"));
        QCOMPARE(formatDefault(start - 2 * kMinute), QStringLiteral("2026-12-05 20:13:00"));
        QCOMPARE(formatDefault(start + 15 * kSecond), QStringLiteral("2026-12-05 20:15:15"));
        QCOMPARE(formatDefault(start + 1440 * kMinute), QStringLiteral("2026-12-06 20:15:00"));
        // A wall-clock time that the spring-forward change skips still has its text.
        const double gap = *parseDefault(QStringLiteral("2026-03-29 02:30:00"));
        QCOMPARE(formatDefault(gap), QStringLiteral("2026-03-29 02:30:00"));
    }

    void userForms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty = invalid
        QTest::newRow("default") << "2026-12-05 20:15:30"
                                 << "2026-12-05 20:15:30";
        QTest::newRow("default without seconds") << "2026-12-05 20:15"
                                                 << "2026-12-05 20:15:00";
        QTest::newRow("German") << "05.12.2026 20:15"
                                << "2026-12-05 20:15:00";
        QTest::newRow("German with seconds") << "05.12.2026 20:15:09"
                                             << "2026-12-05 20:15:09";
        QTest::newRow("database form") << " 2026.12.05 20:15 "
                                       << "2026-12-05 20:15:00";
        QTest::newRow("31.02.") << "31.02.2026 20:15"
                                << "";
        QTest::newRow("25:00") << "05.12.2026 25:00"
                               << "";
        QTest::newRow("date only") << "05.12.2026"
                                   << "";
    }
    void userForms()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const std::optional<double> s = parseUserDateTime(text);
        QCOMPARE(s ? formatDefault(*s) : QString(), expected);
    }

    void standardError_data()
    {
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QByteArray>("expected");
        const int error = int(Severity::Error), warning = int(Severity::Warning);
        const int info = int(Severity::Info);
        QTest::newRow("terminal") << info << "2026-12-05 20:15:07   Resumed" << false
                                  << QByteArray("dorvel: info: 2026-12-05 20:15:07   Resumed\n");
        QTest::newRow("journal") << error << "Database not found" << true
                                 << QByteArray("<3>Database not found\n");
        // Every line of a box carries the level; the journal would file a bare one as info.
        QTest::newRow("several lines") << warning << "Orbivu runs.\r\nClose it now!\n"
                                       << true << QByteArray("<4>Orbivu runs.\n<4>Close it now!\n");
        QTest::newRow("umlauts") << warning << "Schon zu spät" << false
                                 << QByteArray("dorvel: warning: Schon zu sp\xc3\xa4t\n");
    }
    void standardError()
    {
        QFETCH(int, severity);
        QFETCH(QString, text);
        QFETCH(bool, journal);
        QFETCH(QByteArray, expected);
        QCOMPARE(standardErrorLines(Severity(severity), text, journal), expected);
    }

    void journalDetection()
    {
        struct stat st {};
        QCOMPARE(::fstat(STDERR_FILENO, &st), 0);
        const QByteArray own = QByteArray::number(qulonglong(st.st_dev)) + ':' +
                               QByteArray::number(qulonglong(st.st_ino));
        const QByteArray saved = qgetenv("JOURNAL_STREAM");
        qputenv("JOURNAL_STREAM", own);
        QVERIFY(standardErrorIsJournal());
        // Inherited by a child whose standard error was redirected elsewhere.
        qputenv("JOURNAL_STREAM", QByteArray::number(qulonglong(st.st_dev)) + ':' +
                                      QByteArray::number(qulonglong(st.st_ino) + 1));
        QVERIFY(!standardErrorIsJournal());
        qputenv("JOURNAL_STREAM", "garbage");
        QVERIFY(!standardErrorIsJournal());
        qunsetenv("JOURNAL_STREAM");
        QVERIFY(!standardErrorIsJournal());
        if (!saved.isEmpty())
            qputenv("JOURNAL_STREAM", saved);
    }

    void eventLog()
    {
        QTemporaryDir dir;
        test::FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(20, 15, 7)));
        Settings settings;
        EventLog log(clock, settings);
        QStringList mirrored;
        log.setMirror([&](const QString& line) { mirrored << line; });
        const QString path = dir.filePath(QStringLiteral("Dorvel.log"));
        log.setPath(path);

        settings.saveLog = false;
        QVERIFY(!log.writeLine(QStringLiteral("  /opt/tv/Orbivu.EXE /close")));
        QVERIFY(!QFile::exists(path));

        settings.saveLog = true;
        log.start();
        log.start(); // the header marks the creation, not each start
        QVERIFY(log.writeLine(QStringLiteral("  /opt/tv/Orbivu.EXE /close")));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("2026-12-05 20:15:07    Dorvel Log File started\n"
                                         "2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close\n"));

        // A log that cannot be written is dropped quietly.
        log.setPath(dir.filePath(QStringLiteral("missing/folder/Dorvel.log")));
        QVERIFY(!log.writeLine(QStringLiteral("   Resumed")));

        // Standard error gets every event, also with SaveLog off or the file unwritable.
        QCOMPARE(mirrored, QStringList({"2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close",
                                        "2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close",
                                        "2026-12-05 20:15:07   Resumed"}));
    }

    // An installed program's folder cannot take the log: it goes to the state folder.
    void logFolderFallback()
    {
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8());
        QCOMPARE(logFolderFor(dir.path()), dir.path());
        const QString fallback = logFolderFor(dir.filePath(QStringLiteral("not-there")));
        QCOMPARE(fallback, dir.filePath(QStringLiteral("state/Dorvel")));
        QVERIFY(QFileInfo(fallback).isDir());
        qunsetenv("XDG_STATE_HOME");
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
