#include "filename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace dorvel;

class TestFileName : public QObject {
    Q_OBJECT

private:
    static void touch(const QString& path)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void makeFileName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stem");
        QTest::newRow("title with blanks around") << QStringLiteral("  Die Sendung: Teil 1/2  ")
                                                  << QStringLiteral("Die_Sendung__Teil_1#2");
        QTest::newRow("plain") << QStringLiteral("Nachrichten") << QStringLiteral("Nachrichten");
        QTest::newRow("empty") << QString() << QStringLiteral("TEST");
        QTest::newRow("one char") << QStringLiteral("X") << QStringLiteral("TEST");
        QTest::newRow("one char in blanks") << QStringLiteral("   a   ") << QStringLiteral("TEST");
        QTest::newRow("blanks only") << QStringLiteral("      ") << QStringLiteral("TEST");
        QTest::newRow("two chars") << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("inner blanks kept as _") << QStringLiteral("a  b") << QStringLiteral("a__b");
        QTest::newRow("tab is not a blank for trimming")
            << QStringLiteral("\tab\t") << QStringLiteral("ab");
        QTest::newRow("control chars removed")
            << QStringLiteral("a\x01\tb\nc\rd\x1f") << QStringLiteral("abcd");
        QTest::newRow("two control chars map to nothing") << QStringLiteral("\t\t") << QString();
        QTest::newRow("blank dot colon") << QStringLiteral("a b.c:d") << QStringLiteral("a_b_c_d");
        QTest::newRow("hash characters")
            << QStringLiteral("%&'*/?\\^`") << QStringLiteral("#########");
        QTest::newRow("123 to 127") << QStringLiteral("{|}~\x7f") << QStringLiteral("#####");
        QTest::newRow("kept punctuation")
            << QStringLiteral("\"<>!-()[];=+,_@$#") << QStringLiteral("\"<>!-()[];=+,_@$#");
        QTest::newRow("letters and digits") << QStringLiteral("AZaz09") << QStringLiteral("AZaz09");
        QTest::newRow("windows-forbidden set")
            << QStringLiteral("/ \\ : * ? \" < > |") << QStringLiteral("#_#___#_#_\"_<_>_#");
        QTest::newRow("German letters kept")
            << QStringLiteral("Müll & Ärger ÖÜßäöü") << QStringLiteral("Müll_#_Ärger_ÖÜßäöü");
        QTest::newRow("other Latin-1 letters")
            << QStringLiteral("Café Señor Ÿÿ") << QStringLiteral("Caf#_Se#or_##");
        QTest::newRow("euro, in the code page above 127")
            << QStringLiteral("5€x") << QStringLiteral("5#x");
        QTest::newRow("outside the code page") << QStringLiteral("中文") << QStringLiteral("##");
        QTest::newRow("look-alike slashes and dots")
            << QStringLiteral("a\u2215b\uff0fc\uff0e\u2024") << QStringLiteral("a#b#c##");
        QTest::newRow("emoji is one character")
            << QStringLiteral("a\U0001F600") << QStringLiteral("a#");
        QTest::newRow("lone emoji is too short")
            << QStringLiteral("\U0001F600") << QStringLiteral("TEST");
        QTest::newRow("lone surrogate")
            << QString(QStringLiteral("ab") + QChar(0xD800)) << QStringLiteral("ab#");
        QTest::newRow("parent folder") << QStringLiteral("../..") << QStringLiteral("__#__");
        QTest::newRow("dots only") << QStringLiteral("...") << QStringLiteral("___");
        QTest::newRow("hidden-file name")
            << QStringLiteral(".profile") << QStringLiteral("_profile");
        QTest::newRow("proposal of the add form") << QStringLiteral("Kanal1-2005.03.27-20:15")
                                                  << QStringLiteral("Kanal1-2005_03_27-20_15");
    }
    void makeFileName()
    {
        QFETCH(QString, text);
        QFETCH(QString, stem);
        QCOMPARE(dorvel::makeFileName(text), stem);
    }

    void longTitleKeepsEveryCharacter()
    {
        const QString text(10000, QLatin1Char('x'));
        QCOMPARE(dorvel::makeFileName(text), text);
    }

    void cp1252Code_data()
    {
        QTest::addColumn<uint>("ch");
        QTest::addColumn<int>("code");
        QTest::newRow("A") << uint('A') << 65;
        QTest::newRow("euro") << 0x20ACu << 128;
        QTest::newRow("Y diaeresis upper") << 0x0178u << 159;
        QTest::newRow("z caron") << 0x017Eu << 158;
        QTest::newRow("undefined 0x81 position") << 0x0081u << 255;
        QTest::newRow("a umlaut") << 0x00E4u << 228;
        QTest::newRow("nbsp") << 0x00A0u << 160;
        QTest::newRow("A macron") << 0x0100u << 255;
        QTest::newRow("emoji") << 0x1F600u << 255;
    }
    void cp1252Code()
    {
        QFETCH(uint, ch);
        QFETCH(int, code);
        QCOMPARE(dorvel::cp1252Code(char32_t(ch)), code);
    }

    void uniqueName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("name");
        QTest::newRow("free") << QStringList() << QStringLiteral("Nachrichten")
                              << QStringLiteral("Nachrichten");
        QTest::newRow("two taken")
            << QStringList{QStringLiteral("Nachrichten.ts"), QStringLiteral("Nachrichten_1.ts")}
            << QStringLiteral("Nachrichten") << QStringLiteral("Nachrichten_2");
        QTest::newRow("first gap wins")
            << QStringList{QStringLiteral("Nachrichten.ts"), QStringLiteral("Nachrichten_2.ts")}
            << QStringLiteral("Nachrichten") << QStringLiteral("Nachrichten_1");
        QTest::newRow("other extension does not count")
            << QStringList{QStringLiteral("Nachrichten.mpg"), QStringLiteral("Nachrichten")}
            << QStringLiteral("Nachrichten") << QStringLiteral("Nachrichten");
        QTest::newRow("stem of the mapped title")
            << QStringList{QStringLiteral("Teil_1#2.ts")} << QStringLiteral(" Teil 1/2 ")
            << QStringLiteral("Teil_1#2_1");
        QTest::newRow("short title") << QStringList{QStringLiteral("TEST.ts")}
                                     << QStringLiteral("x") << QStringLiteral("TEST_1");
        QTest::newRow("title of control characters")
            << QStringList() << QStringLiteral("\t\x01") << QStringLiteral("TEST");
    }
    void uniqueName()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, title);
        QFETCH(QString, name);
        QTemporaryDir dir;
        for (const QString& f : existing)
            touch(dir.filePath(f));
        QCOMPARE(uniqueRecordingName(title, dir.path() + QLatin1Char('/')), name);
        // The folder may come without its trailing separator as well.
        QCOMPARE(uniqueRecordingName(title, dir.path()), name);
    }

    void letterCaseIsExact()
    {
        QTemporaryDir dir;
        touch(dir.filePath(QStringLiteral("nachrichten.ts")));
        if (QFileInfo::exists(dir.filePath(QStringLiteral("NACHRICHTEN.ts"))))
            QSKIP("the temporary folder ignores letter case");
        QCOMPARE(uniqueRecordingName(QStringLiteral("Nachrichten"), dir.path() + "/"),
                 QStringLiteral("Nachrichten"));
    }

    void danglingLinkCountsAsTaken()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")),
                            dir.filePath(QStringLiteral("Nachrichten.ts"))));
        QCOMPARE(uniqueRecordingName(QStringLiteral("Nachrichten"), dir.path() + "/"),
                 QStringLiteral("Nachrichten_1"));
    }

    void missingRecordFolderStillGivesAName()
    {
        QCOMPARE(uniqueRecordingName(QStringLiteral("Nachrichten"),
                                     QStringLiteral("/nonexistent/dorvel/rec/")),
                 QStringLiteral("Nachrichten"));
    }

    // Whatever the title, the file stays inside the record folder, is not hidden, and its
    // name with suffix and ".ts" fits a file name.
    void hostileTitlesStayInTheFolder_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("empty") << QString();
        QTest::newRow("one char") << QStringLiteral("/");
        QTest::newRow("blanks") << QStringLiteral("     ");
        QTest::newRow("10000 chars") << QString(10000, QLatin1Char('a'));
        QTest::newRow("10000 umlauts") << QString(10000, QChar(0xE4));
        QTest::newRow("forbidden") << QStringLiteral("/ \\ : * ? \" < > |");
        QTest::newRow("parent") << QStringLiteral("../..");
        QTest::newRow("absolute") << QStringLiteral("/etc/passwd");
        QTest::newRow("dots") << QStringLiteral(".. . ..");
        QTest::newRow("control") << QStringLiteral("\x01\x02\x03\n");
        QTest::newRow("nul inside") << QString(QStringLiteral("ab") + QChar(0) + "cd");
    }
    void hostileTitlesStayInTheFolder()
    {
        QFETCH(QString, title);
        QTemporaryDir dir;
        const QString name = uniqueRecordingName(title, dir.path() + "/");
        QVERIFY(!name.isEmpty());
        QVERIFY(!name.contains(QLatin1Char('/')));
        QVERIFY(!name.contains(QLatin1Char('.')));
        QVERIFY(!name.contains(QChar(0)));
        QVERIFY((name + "_4294967295.ts").toUtf8().size() <= 255);
        const QString file = dir.filePath(name + ".ts");
        QCOMPARE(QFileInfo(file).absolutePath(), QDir(dir.path()).absolutePath());
        // The viewer must be able to create it.
        QFile f(file);
        QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(f.errorString()));
    }
};

QTEST_GUILESS_MAIN(TestFileName)
#include "tst_filename.moc"
