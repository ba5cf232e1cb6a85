// An unanswered box does not stop recordings: the busy warning stays open while the user's
// viewer closes, the entry it warned of starts, its end is noticed and the next entry starts
// on time. The recording viewer runs at normal priority although dorvel lowers its own.

#include "sandbox.h"

#include <QDirIterator>

#include <unistd.h>

using namespace dorvel::test;

namespace {

// The nice value of a process (field 19 of its stat line); -100 when it cannot be read.
int niceOf(const QString& pid)
{
    const QByteArray line = E2ESandbox::readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    if (line.isEmpty())
        return -100;
    return line.mid(line.lastIndexOf(')') + 2).split(' ').value(16).toInt();
}

// The process whose command line holds all the words; empty when there is none.
QString findProcess(const QList<QByteArray>& words)
{
    QDirIterator it(QStringLiteral("/proc"));
    while (it.hasNext()) {
        const QString pid = it.next().section(QLatin1Char('/'), -1);
        bool digits = !pid.isEmpty();
        for (const QChar c : pid)
            digits = digits && c.isDigit();
        if (!digits)
            continue;
        const QByteArray cmdline =
            E2ESandbox::readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
        bool all = !cmdline.isEmpty();
        for (const QByteArray& w : words)
            all = all && cmdline.contains(w);
        if (all)
            return pid;
    }
    return {};
}

} // namespace

class TestE2EBoxes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void warningLeftOpen()
    {
        const auto box =
            E2ESandbox::empty({{"AutoClose", "0"}, {"SaveLog", "1"}, {"ShutDownType", "Never"}});
        QVERIFY(box->ok);
        // A minute of the stand-in lasts ten seconds here: long enough to look at it.
        box->env.insert(QStringLiteral("ORBIVU_STANDIN_SECONDS_PER_MINUTE"), QStringLiteral("10"));
        // The next entry at the earliest that does not overlap the first.
        const QDateTime start = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(1, start, start.addSecs(60), QStringLiteral("Krimi")));
        QVERIFY(box->addEntry(1, start.addSecs(120), start.addSecs(180), QStringLiteral("Spaet")));
        const auto userViewer = box->startUserViewer();
        QVERIFY(userViewer);

        auto dorvel = box->start();
        QVERIFY(dorvel.waitFor(" 2 Recordings added to ToDo list", 20000));
        // The warning opens 47 s before the launch and nobody answers it.
        QVERIFY(box->waitForLog("Orbivu is running! Please close it!", start, 5000));
        userViewer->terminate();
        QVERIFY(userViewer->waitForFinished(5000));

        QVERIFY2(dorvel.waitFor("   Start Rec:  Krimi  (1 Min)", start, 10000), dorvel.out);
        // The line comes just before the start.
        QString recording;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(recording = findProcess({box->root.toUtf8(), QByteArrayLiteral("/record=1")}))
                 .isEmpty(),
            5000);
        QCOMPARE(niceOf(recording), niceOf(QString::number(::getpid())));
        QVERIFY(dorvel.waitFor("   Stop Rec", 30000));
        QVERIFY2(dorvel.waitFor("   Start Rec:  Spaet  (1 Min)", start.addSecs(120), 10000),
                 dorvel.out);
        // The viewer starts before its entry leaves the database: the delete follows the line.
        QTRY_COMPARE_WITH_TIMEOUT(box->recordsTitled(QStringLiteral("Krimi")), 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(box->recordsTitled(QStringLiteral("Spaet")), 0, 5000);
        QVERIFY(dorvel.terminate());
    }
};

QTEST_GUILESS_MAIN(TestE2EBoxes)
#include "tst_e2e_boxes.moc"
