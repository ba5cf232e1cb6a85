// Date-time texts of the to-do list and the viewer database.

#include "datetext.h"
#include "datetime.h"

#include <QTest>

using namespace dorvel;

namespace {
double serialOf(int y, int mo, int d, int h, int mi, double s = 0)
{
    return toDaySerial(QDateTime(QDate(y, mo, d), QTime(h, mi))) + s / 86400;
}
} // namespace

class TestDateText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseDbTime_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "2026.12.05 20:15" << true;
        QTest::newRow("leap day") << "2028.02.29 23:59" << true;
        // A wall-clock time in the spring gap is still a point on the serial scale.
        QTest::newRow("spring gap") << "2026.03.29 02:30" << true;
        QTest::newRow("31 February") << "2026.02.31 20:15" << false;
        QTest::newRow("29 February, no leap year") << "1900.02.29 20:15" << false;
        QTest::newRow("hour 24") << "2026.12.05 24:00" << false;
        QTest::newRow("seconds") << "2026.12.05 20:15:00" << false;
        QTest::newRow("arabic digits") << QString::fromUtf8("2026.12.05 20:1\xd9\xa5") << false;
    }
    void parseDbTime()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto serial = ParseDbTime(text);
        QCOMPARE(serial.has_value(), valid);
        if (!valid)
            return;
        QCOMPARE(FormatDbTime(*serial), text);
        // The loader's default form keeps even a time QDateTime cannot hold (the spring gap).
        QCOMPARE(FormatDefaultQuick(*serial), QString(text).replace('.', '-') + ":00");
        QCOMPARE(*parseDefault(FormatDefaultQuick(*serial)), *serial);
        const QDateTime local = QDateTime::fromString(text, QStringLiteral("yyyy.MM.dd hh:mm"));
        if (local.isValid()) // bit for bit, so that serials of equal texts compare equal
            QCOMPARE(*serial, toDaySerial(local));
    }

    void formatDropsSecondsButNotTheMinute()
    {
        // The minute constant is a hair short: 20:15 minus 2 minutes must still be 20:13.
        QCOMPARE(FormatSortKey(serialOf(2026, 12, 5, 20, 15) - 2 * kMinute), "202612052013");
        QCOMPARE(SortKeyNumber(serialOf(2026, 12, 6, 0, 1) - 2 * kMinute), 202612052359);
        QCOMPARE(FormatDbTime(serialOf(2026, 12, 5, 20, 12, 59)), "2026.12.05 20:12");
        QCOMPARE(FormatDbTime(serialOf(2026, 12, 5, 20, 12, 59.6)), "2026.12.05 20:13");
    }
};

QTEST_GUILESS_MAIN(TestDateText)
#include "tst_datetext.moc"
