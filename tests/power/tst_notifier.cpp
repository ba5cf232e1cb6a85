// Desktop notifications reach the session bus's notification service.

#include "fakemachine.h"
#include "linux_notifier.h"

using namespace dorvel;

class TestNotifier : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reachesTheService()
    {
        test::FakeNotifications fake;
        QVERIFY(fake.serve());
        // The program's own: it reaches the session bus only when it first has something to say.
        DBusNotifier().notify("Dorvel: recording problem", "Recording failed: <b>Tom & Jerry</b>");
        QTRY_COMPARE(fake.seen.size(), 1);
        // Servers may read the body as markup: the text stays the text.
        QCOMPARE(fake.seen.first(), "Dorvel|Dorvel: recording problem|Recording failed: "
                                    "&lt;b&gt;Tom &amp; Jerry&lt;/b&gt;");
    }
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
