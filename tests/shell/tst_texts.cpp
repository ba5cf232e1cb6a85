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

using Entry = QString MessageTable::*;
Q_DECLARE_METATYPE(Entry)
// A new entry of the table needs its row in messageTable_data().
static_assert(sizeof(MessageTable) == 45 * sizeof(QString));

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every entry as the user reads it. English only for exactly "eng"; every other value,
    // also "Eng" and the empty one of a first start, gives the German column.
    void messageTable_data()
    {
        QTest::addColumn<Entry>("entry");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("german");
#define PIN(name, english, german)                                                                 \
    QTest::newRow(#name) << &MessageTable::name << QString(english) << QString(german)
        PIN(MsgActiveOptions, "Active Options", "Aktive Optionen");
        PIN(MsgStartViewer, "StartOrbivu", "Orbivu starten");
        PIN(MsgGetRecordings, "Get Recordings", "Lese Aufnahmen");
        PIN(MsgSettings, "Settings", "Einstellungen");
        PIN(MsgDeleteSelection, "Del. Select", "Auswahl löschen");
        PIN(MsgNextEvent, "Next Event", "Nächste Aufnahme");
        PIN(MsgReadingRecordings, "Get Recordings", "Aufnahmen einlesen");
        PIN(MsgRecordingsEdited, "Recordings edited", "Aufnahmen geändert");
        PIN(MsgTimedOut, "Timed out:  ", "Schon zu spät:  ");
        PIN(MsgViewerStartedByUser, "Orbivu is running started by user",
            "Orbivu läuft: vom Anwender gestartet");
        PIN(MsgWaiting, "Waiting", "Abwarten");
        PIN(MsgViewerRecording, "Orbivu is recording started by Dorvel",
            "Orbivu nimmt auf; Aufnahme von Dorvel gestarted");
        PIN(MsgWaitingNext, "Waiting. Next recording at ", "Abwarten. Nächste Aufnahme:");
        PIN(MsgNotStarted, "Not started", "Nicht gestarted");
        PIN(MsgSelectDatabase, "Select your Orbivu database", "Orbivu Datenbank auswählen");
        PIN(MsgNoDatabase, "No Database found", "Keine Datenbank gefunden");
        PIN(MsgOpenDatabaseFailed, "Open database failed", "Öffnen der Datenbank fehlgeschlagen");
        PIN(MsgRecordingsAdded, " Recordings added to ToDo list",
            " Aufnahmen in die ToDo Liste aufgenommen");
        PIN(MsgDatabaseTooOld,
            "Orbivu database versions older than Ver -0.071 are no longer supported!\r\nTry to "
            "update?",
            "Orbivu Datenbank Versionen vor -0.071 werden nicht mehr unterstützt!\r\nSoll die "
            "Datenbank aktualisiert werden?");
        PIN(MsgConfirmDelete, "Delete selected recordings ?", "Ausgewählte Aufnahmen löschen?");
        PIN(MsgOverlap, "There is at least one overlapping record! Please check/delete",
            "Mindestens eine sich überschneidene Aufnahme vorhanden! Bitte ändern/löschen");
        PIN(MsgNoDeleteWhileRunning,
            "Orbivu is running! Please close it (Delete is not possible otherwise)",
            "Orbivu läuft gerade! Bitte schließen (Löschen ist sonst nicht möglich)");
        PIN(MsgNoReloadWhileRecording, "Orbivu is recording! Reload Recordings not possible",
            "Orbivu Aufnahme läuft gerade! 'Lese Aufnahmen' ist nicht möglich!)");
        PIN(MsgCloseViewerNow,
            "Orbivu is running! Please close it! A recording is scheduled in one minute!",
            "Orbivu läuft gerade! Bitte schließen! Eine Aufnahme soll in einer Minute gestartet "
            "werden!");
        PIN(MsgRequestExpired,
            "Recording request has expired! You may try to record it yourself (Future versions "
            "will try to handle this better...) Program will exit now",
            "Aufnahmestart ist abgelaufen. Diese Sendung bitte 'von Hand' aufnehmen (Zukünftige "
            "Versionen werden das vielleicht besser handhaben...) Programm schließt jetzt!");
        PIN(MsgStandbyWorks, "OK StandBy seems to work...",
            "In Ordnung! Standby scheint zu funktionieren...");
        PIN(MsgStandbyFails, "Sorry, StandBy seems not to work...",
            "Schade! Standby scheint nicht zu funktionieren...");
        PIN(MsgNothingToDo, "No Recordings to do...", "Keine Aufnahmen in der ToDo Liste...");
        PIN(MsgCloseQuestionHead, "Close Dorvel (still ", "Dorvel schließen (Noch ");
        PIN(MsgCloseQuestionTail, " Recordings to do...)", " Aufnahmen in der ToDo Liste...)");
        PIN(MsgNotWithITime, "Not possible with Shutdown by ITime",
            "Geht nicht in Verbindung mit Shutdown nach ITime");
        PIN(MsgOnlyWithITime, "Only possible with Shutdown by ITime",
            "Geht nur in Verbindung mit Shutdown nach ITime");
        PIN(MsgIllegalDateTime, "Illegal date/time", "Datum/Uhrzeit nicht interpretierbar");
        PIN(MsgEndBeforeStart, "Endtime must be behind starttime",
            "Stop Datum/Uhrzeit muss später als Start Datum/Uhrzeit sein");
        PIN(MsgStopInPast, "StopTime must be in the future",
            "Stop Datum/Uhrzeit muss in der Zukunft liegen");
        PIN(MsgStartInPast, "StartTime must be in the future",
            "Start Datum/Uhrzeit muss in der Zukunft liegen");
        PIN(MsgStopTooSoon, "StopTime must be at least 1 min after Starttime",
            "Stop Datum/Uhrzeit muss mindestens 1 Minute hinter Startzeit liegen");
        PIN(MsgUntilTooSoon, "Until date must be at least 1 day after Startdate",
            "Bis zum Datum muss mindestens 1 Tag hinter Starttag liegen");
        PIN(MsgChannelNotFound, "Channel not found!", "Sender nicht gefunden!");
        PIN(MsgNotWithinYear, "Entry must within the next year",
            "Eintrag muss innerhalb des nächsten Jahres liegen");
        PIN(MsgInvalidDateTime, "Entry must be a valid date and time",
            "Eintrag muss eine gültige Zeit und ein gültiges Datum enthalten");
        PIN(MsgWeekdayMismatch, "Startdate and selection of weekdays do not match",
            "Starttag passt nicht zur Wochentag - Auswahl");
        PIN(MsgTooShort, "Entry must have at least 2 chars",
            "Eintrag muss mehr als zwei Buchstaben lang sein!");
        PIN(MsgMinutesRange, "Pre und Post-record minutes must be between 0 and 59",
            "Pre und Post-record Minuten müssen zwischen 0 und 59 liegen");
        PIN(MsgITimeRange, "ITime minutes must be between 15 and 999",
            "ITime Minuten müssen zwischen 15 und 999 liegen");
#undef PIN
    }
    void messageTable()
    {
        QFETCH(Entry, entry);
        QFETCH(QString, english);
        QFETCH(QString, german);
        QCOMPARE(MessageTable::forLanguage(QStringLiteral("eng")).*entry, english);
        for (const char* language : {"deu", "Eng", "", "fra"})
            QCOMPARE(MessageTable::forLanguage(QString::fromLatin1(language)).*entry, german);
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
        // Qt reads a sign before a four-digit year; no recording lies 2,000 years back.
        QTest::newRow("negative year") << "-2020.02.21 02:30"
                                       << "";
        QTest::newRow("signed year") << "+2026-12-05 20:15"
                                     << "";
        QTest::newRow("signed day") << "05.12.-2026 20:15"
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
