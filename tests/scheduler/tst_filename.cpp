#include "filename.h"

#include <QtTest>

using namespace dorvel;

class TestFileName : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void makeFileName_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stem");
        const auto row = [](const char* name, const QString& text, const QString& stem) {
            QTest::newRow(name) << text << stem;
        };
        row("blanks around, mapped", "  Die Sendung: Teil 1/2  ", "Die_Sendung__Teil_1#2");
        row("empty", "", "TEST");
        row("one char in blanks", "   a   ", "TEST");
        row("two chars", "ab", "ab");
        row("tab is not trimmed, control chars go", "\tab\x01\n", "ab");
        row("hash characters", "%&'*/?\\^`{|}~\x7f", "##############");
        row("kept punctuation", "\"<>!-()[];=+,_@$#", "\"<>!-()[];=+,_@$#");
        row("German letters kept", "Müll Ärger ÖÜßäöü", "Müll_Ärger_ÖÜßäöü");
        row("other code page letters", "Café 5€ Ÿ", "Caf#_5#_#");
        row("outside the code page", "中文\u2215\uff0e", "####");
        row("emoji is one character", "a\U0001F600", "a#");
        row("lone emoji is too short", "\U0001F600", "TEST");
        row("parent folder", "../..", "__#__");
        row("10000 characters", QString(10000, 'x'), QString(10000, 'x'));
    }
    void makeFileName()
    {
        QFETCH(QString, text);
        QFETCH(QString, stem);
        QCOMPARE(dorvel::makeFileName(text), stem);
    }

    void uniqueName()
    {
        QTemporaryDir dir;
        for (const char* f : {"X_a.ts", "X_a_2.ts", "Yy.mpg", "Yy", "yY.ts", "TEST.ts"})
            QVERIFY(QFile(dir.filePath(f)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("Zz.ts"))); // dangling: taken
        // The folder may come with or without its trailing separator; the first gap wins.
        QCOMPARE(uniqueRecordingName("X a", dir.path() + '/'), QStringLiteral("X_a_1"));
        QCOMPARE(uniqueRecordingName("X a", dir.path()), QStringLiteral("X_a_1"));
        QCOMPARE(uniqueRecordingName("Yy", dir.path()), QStringLiteral("Yy"));
        QCOMPARE(uniqueRecordingName(" Y ", dir.path()), QStringLiteral("TEST_1"));
        QCOMPARE(uniqueRecordingName("\t\x01", dir.path()), QStringLiteral("TEST_1"));
        QCOMPARE(uniqueRecordingName("Zz", dir.path()), QStringLiteral("Zz_1"));
        QCOMPARE(uniqueRecordingName("Zz", "/nonexistent/rec/"), QStringLiteral("Zz"));
        // Room for a number and the suffix within a file name the viewer can create.
        const QString umlauts = uniqueRecordingName(QString(10000, QChar(0xE4)), dir.path());
        QVERIFY((umlauts + "_4294967295.ts").toUtf8().size() <= 255);
        QVERIFY(QFile(dir.filePath(umlauts + ".ts")).open(QIODevice::WriteOnly));
    }
};

QTEST_GUILESS_MAIN(TestFileName)
#include "tst_filename.moc"
