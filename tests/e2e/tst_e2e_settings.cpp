// The real dorvel on a real X server, driven through the accessibility bus like a screen
// reader drives it: the Settings button opens the dialog, a recording that becomes due while
// it is open still starts on time, and German chosen with OK takes effect at once.

#include "atspi.h"
#include "sandbox.h"

#include <QSettings>

using namespace dorvel::test;

namespace {

const QString kButton = QStringLiteral("push button");

// Polls until f gives a value or the time is up.
template <typename F> auto waitFor(F&& f, int ms) -> decltype(f())
{
    QElapsedTimer t;
    t.start();
    while (true) {
        if (auto v = f())
            return v;
        if (t.elapsed() > ms)
            return {};
        QTest::qWait(200);
    }
}

} // namespace

class TestE2ESettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settingsButtonSwitchesToGerman()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X server (run under xvfb-run)");
        AtSpi a11y;
        QVERIFY2(a11y.connect(), "no accessibility bus (at-spi2-core, dbus-run-session)");

        const auto box = E2ESandbox::empty({{"ShutDownType", "Never"}});
        QVERIFY(box->ok);
        box->onDisplay();
        box->env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
        const QDateTime start = E2ESandbox::firstLaunch();
        QVERIFY(box->addEntry(1, start, start.addSecs(60), QStringLiteral("Tagesschau")));

        auto dorvel = box->start();
        QVERIFY2(dorvel.waitFor(" 1 Recordings added to ToDo list", 30000), dorvel.out);
        const auto app = waitFor([&] { return a11y.application(QStringLiteral("Dorvel")); }, 20000);
        QVERIFY(app);
        const auto settings =
            waitFor([&] { return a11y.find(*app, kButton, QStringLiteral("Settings")); }, 20000);
        QVERIFY(settings);
        QVERIFY(a11y.press(*settings));

        auto findDialog = [&]() -> std::optional<AtSpi::Node> {
            for (const AtSpi::Node& w : a11y.children(*app))
                if (a11y.name(w) == QStringLiteral("Settings"))
                    return w;
            return std::nullopt;
        };
        const auto dialog = waitFor(findDialog, 20000);
        QVERIFY(dialog);
        const auto german =
            a11y.find(*dialog, QStringLiteral("radio button"), QStringLiteral("Deutsch"));
        const auto ok = a11y.find(*dialog, kButton, QStringLiteral("OK"));
        QVERIFY(german && ok);

        // The recording starts on time with the dialog open, and ends.
        QVERIFY2(dorvel.waitFor("   Start Rec:  Tagesschau  (1 Min)", start, 30000), dorvel.out);
        QVERIFY2(dorvel.waitFor("   Stop Rec", 60000), dorvel.out);
        QCOMPARE(box->recordsTitled(QStringLiteral("Tagesschau")), 0);
        QVERIFY(findDialog());

        // The language is locked while the viewer runs and free again after it.
        QVERIFY(waitFor([&] { return a11y.hasState(*german, AtSpi::Enabled); }, 20000));
        QVERIFY(a11y.press(*german));
        QVERIFY(waitFor([&] { return a11y.hasState(*german, AtSpi::Checked); }, 5000));
        QVERIFY(a11y.press(*ok));

        // The load runs again: German captions on the main window.
        const auto german_settings = waitFor(
            [&] { return a11y.find(*app, kButton, QStringLiteral("Einstellungen")); }, 20000);
        QVERIFY2(german_settings, qPrintable(a11y.names(*app, kButton).join(" | ")));
        const QStringList buttons = a11y.names(*app, kButton);
        QVERIFY2(buttons.contains(QStringLiteral("Lese Aufnahmen")) &&
                     buttons.contains(QStringLiteral("Orbivu starten")) &&
                     !buttons.contains(QStringLiteral("Settings")),
                 qPrintable(buttons.join(" | ")));
        QVERIFY(!findDialog());
        QSettings stored(box->configFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Startup/Language")).toString(),
                 QStringLiteral("deu"));
        QVERIFY(dorvel.terminate());
    }
};

QTEST_GUILESS_MAIN(TestE2ESettings)
#include "tst_e2e_settings.moc"
