// Reading rules for the settings store, the viewer's settings.ini, date-time texts and
// messages, and where events are written.

#include "clock.h"
#include "datetime.h"
#include "eventlog.h"
#include "fakes.h"
#include "messages.h"
#include "settings.h"
#include "settingsstore.h"
#include "standarderror.h"
#include "startup.h"
#include "system.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dorvel;
using namespace Qt::StringLiterals;

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // -99999 = not a 16-bit number
        QTest::addRow("leading blanks, trailing text") << "  42min" << 42;
        QTest::addRow("no number") << "abc" << 0;
        QTest::addRow("half to even down") << "2.5" << 2;
        QTest::addRow("half to even up") << "3.5" << 4;
        QTest::addRow("lowest") << "-32768" << -32768;
        QTest::addRow("too large") << "40000" << -99999;
        QTest::addRow("exponent") << "1e3" << 1000;
        QTest::addRow("exponent without digits") << "7e+x" << 7;
        QTest::addRow("fraction only") << ".6e1" << 6;
        QTest::addRow("a dot alone") << ".e1" << 0;
        QTest::addRow("only ASCII blanks skipped") << QStringLiteral("\u2003-3") << 0;
        QTest::addRow("only ASCII digits read") << QStringLiteral("4\u0663") << 4;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        const std::optional<qint16> v = int16FromText(text);
        if (value == -99999)
            QVERIFY(!v);
        else
            QCOMPARE(int(v.value_or(-1)), value);
    }

    void formatStr_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<int>("firstWidth");
        QTest::addColumn<int>("lastWidth");
        QTest::addRow("default") << keys::MyFormatStr.defaultValue << 0.5 << 600 << 1500;
        QTest::addRow("stored widths kept") << "37;450;1;2;3;4;5;6;900;" << 0.37 << 450 << 900;
        // Widths that would hide a column for good, or push the others out of sight.
        QTest::addRow("negative widths") << "50;-450;0;0;0;0;0;0;-1;" << 0.5 << 600 << 1500;
        QTest::addRow("huge widths") << "50;32000;0;0;0;0;0;0;99999;" << 0.5 << 15000 << 1500;
        QTest::addRow("garbage") << "x;y" << 0.05 << 600 << 1500;
    }
    void formatStr()
    {
        QFETCH(QString, text);
        const FormatStr f = FormatStr::parse(text);
        QTEST(f.splitRatio, "ratio");
        QTEST(int(f.columnWidths.front()), "firstWidth");
        QTEST(int(f.columnWidths.back()), "lastWidth");
    }

    void viewerIni_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<int>("pre");
        QTest::addColumn<int>("post");
        QTest::addRow("plain, CR LF")
            << QByteArray("RecordDirectory=/rec\r\nPrerecordMinutes=5\r\nPostrecordMinutes=7\r\n")
            << "/rec/" << 5 << 7;
        QTest::addRow("limit 59") << QByteArray("PrerecordMinutes=75\nPostrecordMinutes=60") << ""
                                  << 59 << 59;
        QTest::addRow("not a number keeps 2") << QByteArray("PrerecordMinutes=abc") << "" << 2 << 2;
        QTest::addRow("fraction cut") << QByteArray("PrerecordMinutes=7.9") << "" << 7 << 2;
        QTest::addRow("no lower limit") << QByteArray("PostrecordMinutes=-3") << "" << 2 << -3;
        QTest::addRow("last wins")
            << QByteArray("RecordDirectory=/a/\nRecordDirectory=/b\n") << "/b/" << 2 << 2;
        QTest::addRow("comma fields and quotes")
            << QByteArray("x=1, \"RecordDirectory=/my rec/\" ,PrerecordMinutes=4") << "/my rec/"
            << 4 << 2;
        // The value is taken by position from the start of the field.
        QTest::addRow("key inside a field") << QByteArray("xPrerecordMinutes=5") << "" << 2 << 2;
        // Keys are taken by their whole name only.
        QTest::addRow("longer key with the same ending")
            << QByteArray("RecordDirectory=/rec\nTimeshiftRecordDirectory=/x\n") << "/rec/" << 2
            << 2;
        QTest::addRow("quoted field with a comma")
            << QByteArray("a=1,\"RecordDirectory=/a,b\",PostrecordMinutes=9") << "/a,b/" << 2 << 9;
        QTest::addRow("byte-order mark")
            << QByteArray("\xef\xbb\xbfRecordDirectory=/bom\nPrerecordMinutes=4\n") << "/bom/" << 4
            << 2;
        QTest::addRow("empty directory stays empty")
            << QByteArray("RecordDirectory=") << "" << 2 << 2;
    }
    void viewerIni()
    {
        QFETCH(QByteArray, content);
        const ViewerIni ini = ViewerIni::parse(content);
        QTEST(ini.recordDirectory, "dir");
        QTEST(ini.prerecordMinutes, "pre");
        QTEST(ini.postrecordMinutes, "post");
    }

    // The real store: section and key in any case, garbage files, values with commas; the same
    // value again leaves the file as it is; a failed save is reported.
    void qtStore()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QtSettingsStore store;
        QDir().mkpath(dir.filePath(u"Nocturo"_s));
        QFile f(dir.filePath(u"Nocturo/Nocturo.conf"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const char garbage[] =
            "\x00\x01garbage line without equals\n[StartUp]\nByteOnOff=1\nList=a,b\n[Broken\n";
        f.write(garbage, sizeof garbage - 1);
        f.close();
        QCOMPARE(store.get(u"Nocturo"_s, u"startup"_s, u"BYTEONOFF"_s, u"0"_s), u"1"_s);
        QCOMPARE(store.get(u"Nocturo"_s, u"StartUp"_s, u"List"_s, QString()), u"a,b"_s);
        // Many keys from one reading answer as one by one: any case, defaults, lists.
        QCOMPARE(store.getMany(u"Nocturo"_s, u"STARTUP"_s,
                               {{u"byteonoff"_s, u"0"_s}, {u"Missing"_s, u"d"_s}, {u"LIST"_s, {}}}),
                 (QStringList{u"1"_s, u"d"_s, u"a,b"_s}));
        QCOMPARE(store.getMany(u"Nocturo"_s, u"Nowhere"_s, {{u"ByteOnOff"_s, u"0"_s}}),
                 QStringList{u"0"_s});

        const QString own = dir.filePath(u"Dorvel/Dorvel.conf"_s);
        const auto inode = [&] {
            struct stat st {};
            return ::stat(QFile::encodeName(own).constData(), &st) == 0 ? st.st_ino : ino_t(0);
        };
        QVERIFY(store.save(u"Dorvel"_s, u"Startup"_s, u"WaitForProg"_s, u"a, b; c"_s));
        QVERIFY(store.save(u"Dorvel"_s, u"startup"_s, u"waitforprog"_s, u"x,y"_s));
        const ino_t before = inode();
        QVERIFY(store.save(u"Dorvel"_s, u"Startup"_s, u"WaitForProg"_s, u"x,y"_s));
        QCOMPARE(inode(), before);
        QCOMPARE(store.get(u"Dorvel"_s, u"STARTUP"_s, u"WaitForProg"_s, QString()), u"x,y"_s);
        QVERIFY(store.save(u"Dorvel"_s, u"Startup"_s, u"WaitForProg"_s, u"x,z"_s));
        QVERIFY(inode() != before); // replaced whole, never written in place
        QFile file(own);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("WaitForProg"), 1);
        store.removeIfExists(u"Dorvel"_s, u"startup"_s, u"WAITFORPROG"_s);
        QCOMPARE(store.get(u"Dorvel"_s, u"Startup"_s, u"WaitForProg"_s, u"***"_s), u"***"_s);

        // Values read ahead are the stored ones, and what is saved afterwards replaces them.
        ProgramSettings settings(store);
        QVERIFY(settings.save(keys::RuleMinutes, u"45"_s));
        settings.readAhead({keys::RuleMinutes, keys::ShutDownType});
        QCOMPARE(settings.number(keys::RuleMinutes), 45);
        QCOMPARE(settings.text(keys::ShutDownType), u"Never"_s);
        QVERIFY(settings.save(keys::ShutDownType, u"Rule"_s));
        QCOMPARE(settings.text(keys::ShutDownType), u"Rule"_s);
        settings.removeIfExists(keys::RuleMinutes);
        QCOMPARE(settings.number(keys::RuleMinutes), 60);

        // A folder where the file should be: not even root can write it. Later reads in the
        // same process see what the file holds, not the unsaved value.
        QVERIFY(QDir().mkpath(dir.filePath(u"Broken/Broken.conf"_s)));
        QVERIFY(!store.save(u"Broken"_s, u"Startup"_s, u"SaveLog"_s, u"1"_s));
        QCOMPARE(store.get(u"Broken"_s, u"Startup"_s, u"SaveLog"_s, u"<absent>"_s), u"<absent>"_s);
        qunsetenv("XDG_CONFIG_HOME");
    }
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

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
