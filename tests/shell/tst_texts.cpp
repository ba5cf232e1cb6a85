// The message table, the date-time text forms, standard error and the event log.

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

using namespace dorvel;
using namespace Qt::StringLiterals;

class TestTexts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // English only for exactly "eng": "Eng" and the empty language of a first start give German.
    void languageChoice()
    {
        QCOMPARE(MessageTable::forLanguage(u"eng"_s).MsgSettings, u"Settings"_s);
        for (const QString& language : {u"Eng"_s, QString()})
            QCOMPARE(MessageTable::forLanguage(language).MsgSettings, u"Einstellungen"_s);
    }

    // The default form is read strictly; a user may type several forms.
    void dateTimeForms_data()
    {
        QTest::addColumn<bool>("strict");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // empty = invalid
        const QString none;
        QTest::addRow("default") << true << u"2026-12-05 20:15:30"_s << u"2026-12-05 20:15:30"_s;
        QTest::addRow("leap day") << true << u"2028-02-29 12:00:00"_s << u"2028-02-29 12:00:00"_s;
        QTest::addRow("31 February") << true << u"2026-02-31 20:15:00"_s << none;
        QTest::addRow("default without seconds, strict") << true << u"2026-12-05 20:15"_s << none;
        QTest::addRow("default without seconds")
            << false << u"2026-12-05 20:15"_s << u"2026-12-05 20:15:00"_s;
        QTest::addRow("German") << false << u"05.12.2026 20:15"_s << u"2026-12-05 20:15:00"_s;
        QTest::addRow("German with seconds")
            << false << u"05.12.2026 20:15:09"_s << u"2026-12-05 20:15:09"_s;
        QTest::addRow("database form")
            << false << u" 2026.12.05 20:15 "_s << u"2026-12-05 20:15:00"_s;
        QTest::addRow("31.02.") << false << u"31.02.2026 20:15"_s << none;
        QTest::addRow("date only") << false << u"05.12.2026"_s << none;
        // Qt reads a sign before a four-digit year; no recording lies 2,000 years back.
        QTest::addRow("negative year") << false << u"-2020.02.21 02:30"_s << none;
        QTest::addRow("signed year") << false << u"+2026-12-05 20:15"_s << none;
        QTest::addRow("signed day") << false << u"05.12.-2026 20:15"_s << none;
    }
    void dateTimeForms()
    {
        QFETCH(bool, strict);
        QFETCH(QString, text);
        const std::optional<double> s = strict ? parseDefault(text) : parseUserDateTime(text);
        QTEST(s ? formatDefault(*s) : QString(), "expected");
    }

    void standardError_data()
    {
        QTest::addColumn<int>("severity");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("journal");
        QTest::addColumn<QByteArray>("expected");
        const int error = int(Severity::Error), warning = int(Severity::Warning);
        const int info = int(Severity::Info);
        QTest::addRow("terminal") << info << u"2026-12-05 20:15:07   Resumed"_s << false
                                  << QByteArray("dorvel: info: 2026-12-05 20:15:07   Resumed\n");
        QTest::addRow("journal") << error << u"Database not found"_s << true
                                 << QByteArray("<3>Database not found\n");
        // Every line of a box carries the level; the journal would file a bare one as info.
        QTest::addRow("several lines") << warning << u"Orbivu runs.\r\nClose it now!\n"_s << true
                                       << QByteArray("<4>Orbivu runs.\n<4>Close it now!\n");
        QTest::addRow("umlauts") << warning << u"Schon zu spät"_s << false
                                 << QByteArray("dorvel: warning: Schon zu sp\xc3\xa4t\n");
    }
    void standardError()
    {
        QFETCH(int, severity);
        QFETCH(QString, text);
        QFETCH(bool, journal);
        QTEST(standardErrorLines(Severity(severity), text, journal), "expected");
    }

    void eventLog()
    {
        QTemporaryDir dir;
        test::FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(20, 15, 7)));
        Settings settings;
        EventLog log(clock, settings);
        QStringList mirrored;
        log.setMirror([&](const QString& line) { mirrored << line; });
        const QString path = dir.filePath(u"Dorvel.log"_s);
        log.setPath(path);

        settings.saveLog = false;
        QVERIFY(!log.writeLine(u"  /opt/tv/Orbivu.EXE /close"_s));
        QVERIFY(!QFile::exists(path));
        settings.saveLog = true;
        log.start();
        log.start(); // the header marks the creation, not each start
        QVERIFY(log.writeLine(u"  /opt/tv/Orbivu.EXE /close"_s));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("2026-12-05 20:15:07    Dorvel Log File started\n"
                                         "2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close\n"));
        // A log that cannot be written is dropped quietly.
        log.setPath(dir.filePath(u"missing/folder/Dorvel.log"_s));
        QVERIFY(!log.writeLine(u"   Resumed"_s));
        // Standard error gets every event, also with SaveLog off or the file unwritable.
        QCOMPARE(mirrored, QStringList({"2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close",
                                        "2026-12-05 20:15:07  /opt/tv/Orbivu.EXE /close",
                                        "2026-12-05 20:15:07   Resumed"}));
    }

    // An installed program's folder cannot take the log: it goes to the state folder.
    void logFolderFallback()
    {
        QTemporaryDir dir;
        qputenv("XDG_STATE_HOME", dir.filePath(u"state"_s).toUtf8());
        QCOMPARE(logFolderFor(dir.path()), dir.path());
        const QString fallback = logFolderFor(dir.filePath(u"not-there"_s));
        QCOMPARE(fallback, dir.filePath(u"state/Dorvel"_s));
        QVERIFY(QFileInfo(fallback).isDir());
        qunsetenv("XDG_STATE_HOME");
    }
};

QTEST_GUILESS_MAIN(TestTexts)
#include "tst_texts.moc"
