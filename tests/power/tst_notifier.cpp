// Desktop notifications reach the notification service of the session bus (a private bus
// here, with a fake service on a connection of its own).

#include "linux_notifier.h"

#include <QDBusConnection>
#include <QtTest>

using namespace dorvel;

namespace {

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen; // "app|summary|body"
public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap&, int)
    {
        seen << app + '|' + summary + '|' + body;
        return uint(seen.size());
    }
};

} // namespace

class TestNotifier : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reachesTheService()
    {
        QDBusConnection service =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-notifications");
        QVERIFY(service.isConnected());
        FakeNotifications fake;
        QVERIFY(service.registerObject("/org/freedesktop/Notifications", &fake,
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(service.registerService("org.freedesktop.Notifications"));
        DBusNotifier notifier(QDBusConnection::sessionBus());
        notifier.notify("Dorvel: recording problem", "Recording failed: <b>Tom & Jerry</b>");
        QTRY_COMPARE(fake.seen.size(), 1);
        // Servers may read the body as markup: the text stays the text.
        QCOMPARE(fake.seen.first(), QStringLiteral("Dorvel|Dorvel: recording problem|Recording "
                                                   "failed: &lt;b&gt;Tom &amp; Jerry&lt;/b&gt;"));
    }
};

QTEST_GUILESS_MAIN(TestNotifier)
#include "tst_notifier.moc"
