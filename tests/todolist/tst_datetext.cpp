// Date-time texts of the to-do list and the viewer database.

#include "datetext.h"
#include "datetime.h"

#include <QRandomGenerator>
#include <QTest>

using namespace dorvel;

namespace {
double serialOf(int y, int mo, int d, int h, int mi, int s = 0)
{
    return toDaySerial(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}
} // namespace

class TestDateText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseDbTime_data();
    void parseDbTime();
    void formatDbTimeDropsSecondsButNotTheMinute_data();
    void formatDbTimeDropsSecondsButNotTheMinute();
    void quickDefaultFormIsTheDefaultForm();
    void roundTripsThroughTheDatabaseForm();
};

void TestDateText::parseDbTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QDateTime>("expected");
    const auto at = [](int y, int mo, int d, int h, int mi) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi));
    };
    QTest::newRow("plain") << "2026.12.05 20:15" << true << at(2026, 12, 5, 20, 15);
    QTest::newRow("midnight") << "2026.12.31 00:00" << true << at(2026, 12, 31, 0, 0);
    QTest::newRow("leap day") << "2028.02.29 23:59" << true << at(2028, 2, 29, 23, 59);
    // A wall-clock time in the spring gap is still a point on the serial scale.
    QTest::newRow("spring gap") << "2026.03.29 02:30" << true << QDateTime();
    QTest::newRow("separators ignored") << "2026-12-05T20:15" << true << at(2026, 12, 5, 20, 15);
    QTest::newRow("31 February") << "2026.02.31 20:15" << false << QDateTime();
    QTest::newRow("29 February, no leap year") << "2026.02.29 20:15" << false << QDateTime();
    QTest::newRow("1900 no leap year") << "1900.02.29 20:15" << false << QDateTime();
    QTest::newRow("month 13") << "2026.13.01 20:15" << false << QDateTime();
    QTest::newRow("day 0") << "2026.12.00 20:15" << false << QDateTime();
    QTest::newRow("hour 24") << "2026.12.05 24:00" << false << QDateTime();
    QTest::newRow("minute 60") << "2026.12.05 20:60" << false << QDateTime();
    QTest::newRow("year 0") << "0000.12.05 20:15" << false << QDateTime();
    QTest::newRow("short") << "2026.12.5 20:15" << false << QDateTime();
    QTest::newRow("seconds") << "2026.12.05 20:15:00" << false << QDateTime();
    QTest::newRow("blank around") << " 2026.12.05 20:15" << false << QDateTime();
    QTest::newRow("sign") << "2026.12.05 -1:15" << false << QDateTime();
    QTest::newRow("letters") << "2026.1a.05 20:15" << false << QDateTime();
    QTest::newRow("arabic digits")
        << QString::fromUtf8("2026.12.05 20:1\xd9\xa5") << false << QDateTime();
    QTest::newRow("empty") << "" << false << QDateTime();
}

void TestDateText::parseDbTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QDateTime, expected);
    const auto serial = ParseDbTime(text);
    QCOMPARE(serial.has_value(), valid);
    if (expected.isValid())
        QCOMPARE(*serial, toDaySerial(expected)); // bit for bit, so texts compare equal
    if (valid)
        QCOMPARE(FormatDbTime(*serial).mid(11), text.mid(11, 2) + ":" + text.mid(14, 2));
}

void TestDateText::formatDbTimeDropsSecondsButNotTheMinute_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<QString>("db");
    QTest::addColumn<QString>("key");
    const double start = serialOf(2026, 12, 5, 20, 15);
    QTest::newRow("exact") << start << "2026.12.05 20:15"
                           << "202612052015";
    // The minute constant is a hair short: start - 2 minutes is 20:13 minus a few
    // microseconds and must still be 20:13.
    QTest::newRow("two lead minutes") << start - 2 * kMinute << "2026.12.05 20:13"
                                      << "202612052013";
    QTest::newRow("999 lead minutes") << start - 999 * kMinute << "2026.12.05 03:36"
                                      << "202612050336";
    QTest::newRow("across midnight")
        << serialOf(2026, 12, 6, 0, 1) - 2 * kMinute << "2026.12.05 23:59"
        << "202612052359";
    QTest::newRow("59 seconds dropped") << serialOf(2026, 12, 5, 20, 12, 59) << "2026.12.05 20:12"
                                        << "202612052012";
    QTest::newRow("59.6 seconds is the next minute")
        << serialOf(2026, 12, 5, 20, 12, 59) + 0.6 / 86400 << "2026.12.05 20:13"
        << "202612052013";
    QTest::newRow("end of year") << serialOf(2027, 1, 1, 0, 0) - 0.2 / 86400 << "2027.01.01 00:00"
                                 << "202701010000";
    QTest::newRow("sentinel") << 2593224.4166666665 << "9000.01.01 10:00"
                              << "900001011000";
}

void TestDateText::formatDbTimeDropsSecondsButNotTheMinute()
{
    QFETCH(double, serial);
    QFETCH(QString, db);
    QFETCH(QString, key);
    QCOMPARE(FormatDbTime(serial), db);
    QCOMPARE(FormatSortKey(serial), key);
    QCOMPARE(SortKeyNumber(serial), key.toLongLong());
}

void TestDateText::quickDefaultFormIsTheDefaultForm()
{
    // The loader's formatter must give byte for byte the default form, or the scheduler's
    // text comparisons and read-backs would disagree.
    QList<double> serials{0.0,
                          1.0 - 0.4 / 86400,
                          1.0 - 0.6 / 86400,
                          -700.25,
                          serialOf(2026, 10, 25, 2, 30),
                          serialOf(2000, 2, 29, 12, 0),
                          serialOf(2100, 3, 1, 0, 0),
                          2593224.4166666665,
                          2593224.4236111110,
                          serialOf(9999, 12, 31, 23, 59, 59)};
    QRandomGenerator rng(4711);
    for (int i = 0; i < 20000; ++i)
        serials << rng.bounded(80000.0);
    for (double s : serials) {
        // formatDefault() gives "" for a wall-clock time in a spring gap, which QDateTime
        // cannot hold; ours keeps the text (checked below).
        if (formatDefault(s).isEmpty())
            continue;
        QCOMPARE(FormatDefaultQuick(s), formatDefault(s));
        QCOMPARE(RoundToSecond(s), *parseDefault(formatDefault(s)));
    }
    // A wall-clock time in the spring gap still has its text, and it reads back.
    const double gap = *ParseDbTime(u"2026.03.29 02:30");
    QCOMPARE(FormatDefaultQuick(gap), QStringLiteral("2026-03-29 02:30:00"));
    QCOMPARE(*parseDefault(FormatDefaultQuick(gap)), gap);
}

void TestDateText::roundTripsThroughTheDatabaseForm()
{
    QRandomGenerator rng(815);
    for (int i = 0; i < 5000; ++i) {
        const double minuteSerial = double(rng.bounded(0, 100000 * 1440)) / 1440.0;
        const QString text = FormatDbTime(minuteSerial);
        const auto back = ParseDbTime(text);
        QVERIFY(back.has_value());
        QCOMPARE(FormatDbTime(*back), text);
        QCOMPARE(formatDefault(*back), formatDefault(minuteSerial));
    }
}

QTEST_GUILESS_MAIN(TestDateText)
#include "tst_datetext.moc"
