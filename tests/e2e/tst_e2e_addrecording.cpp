// Adding a recording from end to end, on a real X server with real key strokes: the button
// opens the form, a recording that falls due while the form is open still starts, the
// keyboard fills the form in its order, and after OK the rows are in the database and in the
// to-do list.

#include "sandbox.h"

using namespace dorvel::test;

namespace {

bool keys(const QStringList& names)
{
    return xdo(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("60")} +
               names)
        .has_value();
}

// Selects the focused field's text and types over it.
bool typeOver(const QString& text)
{
    return keys({QStringLiteral("ctrl+a")}) &&
           xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("60"), text})
               .has_value();
}

QString windowNamed(const QString& pattern, int ms = 15000)
{
    const auto out = xdo({QStringLiteral("search"), QStringLiteral("--sync"),
                          QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern},
                         ms);
    return out ? QString::fromLatin1(*out).split(QLatin1Char('\n')).value(0).trimmed() : QString();
}

} // namespace

class TestE2EAddRecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void keyboardFillsTheFormWhileTheSchedulerRuns()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X server (the test runs under xvfb-run)");
        const auto box = E2ESandbox::empty({{"ShutDownType", "Never"}});
        QVERIFY(box->ok);
        box->onDisplay();
        // Due while the form will be open.
        const QDateTime due = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(1, due, due.addSecs(60), QStringLiteral("Tagesschau")));

        auto dorvel = box->start();
        QVERIFY(dorvel.waitFor(" 1 Recordings added to ToDo list", 20000));
        const QString main = windowNamed(QStringLiteral("^Dorvel Ver"));
        QVERIFY(!main.isEmpty());

        // The keyboard reaches the button from the activity list, the next control in order.
        const auto geometry =
            xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), main});
        QVERIFY(geometry);
        QMap<QByteArray, int> g;
        for (const QByteArray& line : geometry->split('\n')) {
            const QList<QByteArray> kv = line.split('=');
            if (kv.size() == 2)
                g.insert(kv.at(0), kv.at(1).toInt());
        }
        const int x = g.value("X"), y = g.value("Y"), width = g.value("WIDTH"),
                  height = g.value("HEIGHT");
        QVERIFY(width > 0 && height > 0);
        QVERIFY(
            xdo({QStringLiteral("mousemove"), QString::number(x + 40),
                 QString::number(y + height - 40), QStringLiteral("click"), QStringLiteral("1")}));
        QVERIFY(keys({QStringLiteral("Tab"), QStringLiteral("space")}));
        const QString form = windowNamed(QStringLiteral("^Add Recording$"));
        QVERIFY2(!form.isEmpty(), "the form did not open");

        // The scheduler keeps going while the form is open.
        QVERIFY(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", due, 30000));
        // The line is written just before the entry leaves the database.
        QTRY_COMPARE_WITH_TIMEOUT(box->recordsTitled(QStringLiteral("Tagesschau")), 0, 10000);
        QVERIFY(!windowNamed(QStringLiteral("^Add Recording$"), 3000).isEmpty());

        // The form's keyboard order from OK, which holds the focus: Cancel, number, name,
        // start date and time, stop date and time, once, daily, weekly, until, seven weekdays,
        // lead, trail, description.
        QVERIFY(xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), form}));
        const QDate first = QDate::currentDate().addDays(1);
        const QString f = QStringLiteral("yyyy.MM.dd");
        QVERIFY(keys({"Tab", "Tab", "Down"})); // channel 2
        QVERIFY(keys({"Tab", "Tab"}));
        QVERIFY(typeOver(first.toString(f)));
        QVERIFY(keys({"Tab"}));
        QVERIFY(typeOver(QStringLiteral("20:15")));
        QVERIFY(keys({"Tab"}));
        QVERIFY(typeOver(first.toString(f)));
        QVERIFY(keys({"Tab"}));
        QVERIFY(typeOver(QStringLiteral("21:00")));
        QVERIFY(keys({"Tab", "Tab", "space", "Tab", "Tab"})); // daily
        QVERIFY(typeOver(first.addDays(2).toString(f)));
        QVERIFY(keys(QStringList(8, QStringLiteral("Tab")))); // past the seven weekdays
        QVERIFY(typeOver(QStringLiteral("1")));
        QVERIFY(keys({"Tab"}));
        QVERIFY(typeOver(QStringLiteral("3")));
        QVERIFY(keys({"Tab"}));
        QVERIFY(typeOver(QStringLiteral("Serie E2E")));
        QVERIFY(keys({"Return"}));
        // "Add 3 Recording entries", answered with OK.
        QVERIFY(!windowNamed(QStringLiteral("^Dorvel$")).isEmpty());
        QVERIFY(keys({"Return"}));

        QVERIFY2(dorvel.waitFor(" 3 Recordings added to ToDo list", 20000),
                 dorvel.out.right(2000).constData());
        QCOMPARE(box->recordsTitled(QStringLiteral("Serie E2E")), 3);
        const auto rows = box->rows(QStringLiteral(
            "SELECT r.STARTTIME, r.ENDTIME, r.LONGDESC, r.PRERECORD, r.POSTRECORD, c.CHANNELNUM "
            "FROM RECORD r JOIN CHANNELS c ON c.NID = r.NID AND c.SID = r.SID AND "
            "c.SOURCEID = r.SOURCEID ORDER BY r.rowid"));
        const auto row = [&](int d, const QString& desc) {
            const QString day = first.addDays(d).toString(f);
            return QStringList{day + " 20:15", day + " 21:00", desc, "1", "3", "2"}.join('|');
        };
        QVERIFY(rows);
        QCOMPARE(*rows, (QStringList{row(0, "Serie E2E"), row(1, "Daily_Serie E2E"),
                                     row(2, "Daily_Serie E2E")}));
        QVERIFY(windowNamed(QStringLiteral("^Add Recording$"), 2000).isEmpty());

        QVERIFY(dorvel.terminate());
    }
};

QTEST_GUILESS_MAIN(TestE2EAddRecording)
#include "tst_e2e_addrecording.moc"
