// Reading rules for the settings store and the viewer's settings.ini.

#include "settings.h"
#include "settingsstore.h"
#include "startup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dorvel;
using namespace Qt::StringLiterals;

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void flags_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("on");
        QTest::addRow("1") << "1" << true;
        QTest::addRow("-1") << "-1" << false;
        QTest::addRow("true") << "true" << false;
        QTest::addRow("blank before") << " 1" << false;
        QTest::addRow("01") << "01" << false;
    }
    void flags()
    {
        QFETCH(QString, text);
        QTEST(flagFromText(text), "on");
    }

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
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
