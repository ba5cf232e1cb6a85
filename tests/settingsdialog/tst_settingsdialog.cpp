// The settings dialog offscreen through its real widgets, with the fake settings store,
// autostart and prompter, and real SQLite files for the database search.

#include "appstate.h"
#include "autostart.h"
#include "fakes.h"
#include "settingsdialog.h"
#include "settingseditor.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using namespace Qt::StringLiterals;

namespace {

class FakeAutostart final : public Autostart {
public:
    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override
    {
        calls << name + ": " + (QStringList{program} + args).join(' ');
    }
    void deleteRunEntry(const QString& name) override { calls << "delete " + name; }
    QStringList calls;
};

// The flag keys OK writes, their boxes (in the same order) and their defaults.
const QStringList kFlagKeys{
    "UseShortdesc", "IgnoreOverlap", "StartPendingRecord", "RecDelay",  "SaveLog",
    "Streamonly",   "AutoRun",       "AskForClose",        "AutoClose", "WaitForClose"};
const char* const kFlagBoxes[] = {
    "CheckReName",   "Check_IgnoreOverlap", "Check_StartPendingRecord",
    "Check_Delay",   "Check_WriteLogFile",  "Check_Streamonly",
    "Option3",       "Check_CloseQuestion", "Check_AutoClose",
    "Check_WaitProg"};
const QString kFlagDefaults = u"1011010100"_s;

struct Rig {
    Rig()
    {
        viewer = test::ViewerFolder::create(dir.filePath("viewer"));
        state.appPath = "/opt/my dorvel";
        state.msg = MessageTable::forLanguage("eng");
        state.settings.language = "eng";
        state.orbivuDBPath = viewer.db;
        store.setOwn("OrbivuDBPath", viewer.db);
        db.open(viewer.db);
    }
    template <typename W = QWidget> W* child(const char* name)
    {
        W* w = dialog->findChild<W*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    Dialog& open()
    {
        dialog = std::make_unique<Dialog>(editor);
        return *dialog;
    }
    void click(const QString& name)
    {
        QTest::mouseClick(child<QAbstractButton>(name.toLatin1()), Qt::LeftButton);
    }
    void type(const char* name, const QString& text) { child<QLineEdit>(name)->setText(text); }
    QString storedFlags() const
    {
        QString flags;
        for (const QString& key : kFlagKeys)
            flags += store.own(key);
        return flags;
    }

    QTemporaryDir dir;
    test::ViewerFolder viewer;
    AppState state;
    test::MemorySettingsStore store;
    test::FakePrompter prompter;
    test::FakeView view;
    FakeAutostart autostart;
    ViewerDatabase db{"tst-open"};
    int standbyTests = 0;
    SettingsEditor editor{{state, store, prompter, view, autostart, [this] { ++standbyTests; }}};
    std::unique_ptr<Dialog> dialog;
};

} // namespace

class TestSettingsDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The readiness report opens beside the dialog, not in its way.
    void powerReport()
    {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/dorvel-test");
        Rig rig;
        Dialog& d = rig.open();
        rig.click("Command_CheckPower");
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = d.findChild<QMessageBox*>("PowerReport")) && box->isVisible());
        QVERIFY(!box->isModal());
        QVERIFY2(box->text().startsWith("Is this PC ready for unattended recording?") &&
                     box->text().contains("logind CanPowerOff: logind does not answer"),
                 qPrintable(box->text()));
        box->close();
    }

    // Fields and the picture button have no caption of their own: a screen reader needs a name.
    void everyControlIsNamed()
    {
        Rig rig;
        Dialog& d = rig.open();
        for (const char* name : {"Text1", "Text2", "Text4", "Text_WaitForProg", "Command_Search"})
            QVERIFY2(!rig.child(name)->accessibleName().isEmpty(), name);
        QCOMPARE(rig.child<QLabel>("Label4")->buddy(), rig.child("Text4"));
        for (QAbstractButton* b : d.findChildren<QAbstractButton*>())
            QVERIFY2(!b->text().isEmpty() || !b->accessibleName().isEmpty(),
                     qPrintable(b->objectName()));
    }

    void fill_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("checkedShutdown"); // empty: none
        for (const char* r : {"Never:Option4", "LastRec:Option6", "Rule:Option7", "rule:"})
            QTest::addRow("%s", r) << QString(r).section(':', 0, 0) << QString(r).section(':', 1);
    }
    void fill()
    {
        QFETCH(QString, type);
        QFETCH(QString, checkedShutdown);
        Rig rig;
        Settings& v = rig.state.settings;
        v.language = "deu";
        v.recDelay = false;
        v.recDelaySec = 1234;
        v.waitForProg = "my tool.exe";
        v.shutDownType = type;
        v.ruleMinutes = 321;
        rig.view.geometry = {1440, 2880, 6000, 3000};
        rig.open();
        QVERIFY(rig.child<QAbstractButton>("Option1")->isChecked()); // German
        QStringList texts;
        for (const char* field : {"Text1", "Text2", "Text_WaitForProg", "Text4"})
            texts << rig.child<QLineEdit>(field)->text();
        QCOMPARE(texts, (QStringList{rig.viewer.db, "1234", "my tool.exe", "321"}));
        QCOMPARE(rig.child("Text4")->isEnabled(), type == "Rule");
        for (const char* o : {"Option4", "Option6", "Option7"})
            QCOMPARE(rig.child<QRadioButton>(o)->isChecked(), checkedShutdown == o);
        // The delay check and the shutdown options enable their fields at once.
        QVERIFY(!rig.child("Text2")->isEnabled());
        rig.click("Check_Delay");
        QVERIFY(rig.child("Text2")->isEnabled());
        rig.click("Option7");
        QVERIFY(rig.child("Text4")->isEnabled());
        rig.click("Option6");
        QVERIFY(!rig.child("Text4")->isEnabled());
        // One inch right and two inches down, plus 150 and 100 twips.
        QCOMPARE(rig.editor.place().left, 1590);
        QCOMPARE(rig.editor.place().top, 2980);
    }

    void ok_data()
    {
        // Live language, option clicked, stored database path, saved language, reload?, and
        // whether the viewer starts while the dialog is open.
        QTest::addColumn<QStringList>("r");
        QTest::newRow("no change") << QStringList{"eng", "", "", "<absent>", "no", ""};
        QTest::newRow("to German") << QStringList{"eng", "Option1", "", "deu", "yes", ""};
        QTest::newRow("to English") << QStringList{"deu", "Option2", "", "eng", "yes", ""};
        QTest::newRow("German kept") << QStringList{"deu", "Option1", "", "<absent>", "no", ""};
        // A language never chosen is left for the language form.
        QTest::newRow("no language yet") << QStringList{"", "Option2", "", "<absent>", "no", ""};
        QTest::newRow("stored path differs")
            << QStringList{"eng", "", "/elsewhere/Orbivu.mdb", "<absent>", "yes", ""};
        // Not applied behind the back of a viewer started after the choice.
        QTest::newRow("viewer started meanwhile")
            << QStringList{"eng", "Option1", "", "<absent>", "no", "viewer"};
    }
    void ok()
    {
        QFETCH(QStringList, r);
        Rig rig;
        rig.state.settings.language = r[0];
        if (!r[2].isEmpty())
            rig.store.setOwn("OrbivuDBPath", r[2]);
        rig.state.reloadRequested = true; // OK decides anew
        Dialog& d = rig.open();
        if (!r[1].isEmpty())
            rig.click(r[1]);
        if (!r[5].isEmpty())
            rig.state.orbivuState = 1;
        rig.click("OKButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.store.own("Language"), r[3]);
        QCOMPARE(rig.state.settings.language, r[0]); // the load takes it up
        QCOMPARE(rig.state.reloadRequested, r[4] == "yes");
        QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
        // Every flag and the type are written even when nothing changed.
        QCOMPARE(rig.storedFlags(), kFlagDefaults);
        QCOMPARE(rig.store.own("ShutDownType") + rig.store.own("RecDelaySec") +
                     rig.store.own("WaitForProg") + rig.store.own("RuleMinutes"),
                 u"Never500<absent><absent>"_s);
        QCOMPARE(rig.prompter.texts(),
                 r[5].isEmpty() ? QStringList() : QStringList{SettingsEditor::viewerRunsText()});
    }

    // Each flag reaches its own key and live value and shows in its own box when the dialog
    // opens again. The rows click the boxes by the bits of their place (1 to 10), so that any
    // two boxes differ in some row: a swapped pair is seen.
    void changedValuesReachStoreAndLiveState_data()
    {
        QTest::addColumn<QString>("clicked"); // per box of kFlagBoxes
        for (const char* r : {"1111111111", "1010101010", "0110011001", "0001111000", "0000000111"})
            QTest::addRow("%s", r) << QString(r);
    }
    void changedValuesReachStoreAndLiveState()
    {
        QFETCH(QString, clicked);
        Rig rig;
        rig.view.goTimerVisibleFlag = true;
        rig.open();
        QString expected;
        for (int i = 0; i < 10; ++i) {
            if (clicked[i] == '1')
                rig.click(kFlagBoxes[i]);
            expected += QChar(clicked[i] == kFlagDefaults[i] ? '0' : '1');
        }
        rig.click("Option7");
        rig.type("Text4", " 45 ");
        rig.type("Text_WaitForProg", "  ffmpeg  ");
        rig.click("OKButton");
        const Settings& v = rig.state.settings;
        QString live;
        for (bool on :
             {v.useShortdesc, v.ignoreOverlap, v.startPendingRecord, v.recDelay, v.saveLog,
              v.streamonly, v.autoRun, v.askForClose, v.autoClose, v.waitForClose})
            live += QChar(on ? '1' : '0');
        QCOMPARE(rig.storedFlags(), expected);
        QCOMPARE(live, expected);
        QCOMPARE(rig.store.own("ShutDownType") + rig.store.own("RuleMinutes") +
                     rig.store.own("WaitForProg"),
                 u"Rule45ffmpeg"_s);
        QCOMPARE(v.shutDownType + QString::number(v.ruleMinutes) + v.waitForProg,
                 u"Rule45ffmpeg"_s);
        rig.open();
        QString shown;
        for (const char* box : kFlagBoxes)
            shown += QChar(rig.child<QAbstractButton>(box)->isChecked() ? '1' : '0');
        QCOMPARE(shown, expected);
    }

    void shutdownIndicators_data()
    {
        // Option, label, NoShutDown enabled, GoNocturo enabled, GoNocturo checked.
        QTest::addColumn<QStringList>("r");
        QTest::newRow("Never") << QStringList{"Option4", "NoShutdown", "0", "1", "0"};
        QTest::newRow("LastRec") << QStringList{"Option6", "LastRec", "1", "0", "0"};
        QTest::newRow("Rule") << QStringList{"Option7", "ITime", "1", "1", "1"};
    }
    void shutdownIndicators()
    {
        QFETCH(QStringList, r);
        Rig rig;
        rig.state.settings.shutDownType = "Rule";
        rig.view.goTimerVisibleFlag = true;
        rig.view.goTimerChecked = true; // wake-tool mode on
        rig.view.goTimerEnabled = r[3] != "1";
        rig.view.noShutDownEnabled = r[2] != "1";
        rig.open();
        rig.click(r[0]);
        rig.click("OKButton");
        QCOMPARE(rig.view.shutdownLabel, r[1]);
        QCOMPARE(rig.view.noShutDownEnabled, r[2] == "1");
        QCOMPARE(rig.view.goTimerEnabled, r[3] == "1");
        QCOMPARE(rig.view.goTimerChecked, r[4] == "1");
    }

    // Typed values: taken, ignored, or refused with a message and nothing written.
    void fields_data()
    {
        // Field, text typed, shutdown option, message ("" when accepted), key, stored value.
        QTest::addColumn<QStringList>("r");
        const QString range = MessageTable::forLanguage("eng").MsgITimeRange;
        const QString delay = SettingsEditor::delayRangeText();
        const QString prog = SettingsEditor::waitProgramText();
        const QString rd = "RecDelaySec", rm = "RuleMinutes", wp = "WaitForProg";
        const QString x255(255, 'x');
        QTest::newRow("delay 10 ignored")
            << QStringList{"Text2", "10", "Option7", "", rd, "<absent>"};
        QTest::newRow("delay 11") << QStringList{"Text2", "11", "Option7", "", rd, "11"};
        QTest::newRow("delay empty") << QStringList{"Text2", "", "Option7", "", rd, "<absent>"};
        QTest::newRow("delay 32767") << QStringList{"Text2", "32767", "Option7", "", rd, "32767"};
        QTest::newRow("delay 32768") << QStringList{"Text2", "32768", "Option7", delay};
        QTest::newRow("delay 12abc") << QStringList{"Text2", "12abc", "Option7", delay};
        QTest::newRow("ITime 14") << QStringList{"Text4", "14", "Option7", range};
        QTest::newRow("ITime 15") << QStringList{"Text4", "15", "Option7", "", rm, "15"};
        QTest::newRow("ITime 999") << QStringList{"Text4", " 999 ", "Option7", "", rm, "999"};
        QTest::newRow("ITime 1000") << QStringList{"Text4", "1000", "Option7", range};
        QTest::newRow("ITime 20abc") << QStringList{"Text4", "20abc", "Option7", range};
        // Text4 is saved only with "Shutdown by ITime", so only then checked.
        QTest::newRow("ITime 14 unused")
            << QStringList{"Text4", "14", "Option6", "", rm, "<absent>"};
        QTest::newRow("program in blanks")
            << QStringList{"Text_WaitForProg", " ffmpeg ", "Option4", "", wp, "ffmpeg"};
        QTest::newRow("program path")
            << QStringList{"Text_WaitForProg", "/usr/bin/x", "Option4", prog};
        QTest::newRow("program 256 characters")
            << QStringList{"Text_WaitForProg", QString(256, 'x'), "Option4", prog};
        QTest::newRow("program 255 characters")
            << QStringList{"Text_WaitForProg", x255, "Option4", "", wp, x255};
    }
    void fields()
    {
        QFETCH(QStringList, r);
        Rig rig;
        rig.state.settings.shutDownType = "Rule";
        Dialog& d = rig.open();
        rig.click(r[2]);
        rig.type(qPrintable(r[0]), r[1]);
        rig.click("OKButton");
        const Settings& v = rig.state.settings;
        const QStringList live{QString::number(v.recDelaySec), QString::number(v.ruleMinutes),
                               v.waitForProg};
        if (!r[3].isEmpty()) { // still open, nothing written
            QCOMPARE(rig.prompter.texts(), QStringList{r[3]});
            QCOMPARE(d.result(), int(QDialog::Rejected));
            QCOMPARE(rig.store.own("ShutDownType"), u"<absent>"_s);
            QCOMPARE(live, (QStringList{"500", "60", "TMPGenc.exe"}));
            return;
        }
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.store.own(r[4]), r[5]);
        if (r[5] != "<absent>")
            QCOMPARE(live.at(QStringList{"Text2", "Text4", "Text_WaitForProg"}.indexOf(r[0])),
                     r[5]);
    }

    // Leaving Text4 with a bad value brings the message once and the focus back, also when
    // the field is left by clicking OK.
    void iTimeCheckedWhenLeft()
    {
        Rig rig;
        rig.state.settings.shutDownType = "Rule";
        Dialog& d = rig.open();
        d.show();
        QApplication::setActiveWindow(&d);
        QVERIFY(QTest::qWaitForWindowActive(&d));
        auto* text4 = rig.child<QLineEdit>("Text4");
        text4->setFocus();
        text4->setText("14");
        rig.child("Check_WaitProg")->setFocus();
        QTRY_COMPARE(rig.prompter.texts(), QStringList{rig.state.msg.MsgITimeRange});
        QTRY_VERIFY(text4->hasFocus());
        rig.click("OKButton");
        QCoreApplication::processEvents();
        QCOMPARE(rig.prompter.shown.size(), 2);
        QVERIFY(d.isVisible() && text4->hasFocus());
        text4->setText("15");
        rig.click("OKButton");
        QCOMPARE(rig.prompter.shown.size(), 2);
        QCOMPARE(rig.store.own("RuleMinutes"), u"15"_s);
        QVERIFY(!d.isVisible());
    }

    void autostartActsAtOnce()
    {
        Rig rig;
        Dialog& d = rig.open();
        rig.click("Option3");
        QCOMPARE(rig.autostart.calls, QStringList{"Dorvel: /opt/my dorvel/dorvel min"});
        rig.click("CancelButton");
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(rig.autostart.calls.size(), 1); // not undone
        QCOMPARE(rig.store.own("AutoRun"), u"<absent>"_s);
        QVERIFY(!rig.state.settings.autoRun);
        rig.state.settings.autoRun = true;
        rig.open();
        rig.click("Option5");
        QCOMPARE(rig.autostart.calls.last(), u"delete Dorvel"_s);
    }

    void lockedWhileViewerRuns_data()
    {
        QTest::addColumn<int>("orbivuState");
        QTest::newRow("no viewer") << 0;
        QTest::newRow("recording") << 1;
        QTest::newRow("started by user") << 2;
    }
    void lockedWhileViewerRuns()
    {
        QFETCH(int, orbivuState);
        const bool free = orbivuState == 0;
        Rig rig;
        rig.state.orbivuState = orbivuState;
        rig.open();
        for (const char* name : {"Frame1", "Option1", "Option2", "Frame2", "Text1",
                                 "Command_Search", "CommandCheck_Suspend"})
            QVERIFY2(rig.child(name)->isEnabled() == free, name);
        QVERIFY(rig.child("Check_AutoClose")->isEnabled());
        rig.click("CommandCheck_Suspend");
        QCOMPARE(rig.standbyTests, free ? 1 : 0);
        // The viewer starts or ends while the dialog is open.
        rig.state.orbivuState = free ? 1 : 0;
        QTRY_COMPARE(rig.child("CommandCheck_Suspend")->isEnabled(), !free);
        QTRY_COMPARE(rig.child("Option1")->isEnabled(), !free);
    }

    void search_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // empty: none; "<switch>": switched
        const MessageTable msg = MessageTable::forLanguage("eng");
        QTest::newRow("cancelled") << "cancel" << QString();
        QTest::newRow("current file") << "current" << QString();
        QTest::newRow("folder") << "folder" << msg.MsgNoDatabase;
        QTest::newRow("empty file") << "empty" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("locked by the viewer") << "locked" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("other name")
            << "othername" << msg.MsgNoDatabase + "\n" + SettingsEditor::fileNameText();
        QTest::newRow("no viewer program") << "noexe" << SettingsEditor::viewerFolderText("");
        QTest::newRow("another viewer") << "good"
                                        << "<switch>";
        QTest::newRow("another viewer, Cancel") << "good, Cancel"
                                                << "<switch>";
    }
    void search()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Rig rig;
        const test::ViewerFolder other = test::ViewerFolder::create(rig.dir.filePath("other"));
        QString chosen = kind == "current" ? rig.viewer.db : other.db;
        if (kind == "folder" || kind == "empty")
            QFile::remove(chosen);
        if (kind == "folder")
            QDir().mkpath(chosen);
        if (kind == "empty")
            QVERIFY(QFile(chosen).open(QIODevice::WriteOnly));
        if (kind == "othername") {
            chosen = other.root + "Database/Recordings.mdb";
            QVERIFY(QFile::rename(other.db, chosen));
        }
        if (kind == "noexe")
            QVERIFY(QFile::remove(other.exe));
        {
            auto viewerSide = QSqlDatabase::addDatabase("QSQLITE", "viewer");
            viewerSide.setDatabaseName(chosen);
            if (kind == "locked")
                QVERIFY(viewerSide.open() && QSqlQuery(viewerSide).exec("BEGIN EXCLUSIVE"));
            rig.prompter.fileAnswers.enqueue(kind == "cancel" ? std::nullopt
                                                              : std::optional(chosen));
            rig.state.reloadRequested = true;
            rig.open();
            rig.click("Command_Search");
            viewerSide.close();
        }
        QSqlDatabase::removeDatabase("viewer");
        QCOMPARE(rig.prompter.fileDialogs.value(0),
                 (QStringList{"Select your Orbivu database", "Database Files (*.mdb *.MDB)",
                              rig.viewer.db}));
        // The database in use stays open until the dialog has closed, whatever was chosen.
        QVERIFY(rig.db.isOpen() && rig.db.path() == rig.viewer.db);
        const bool switched = message == "<switch>";
        QCOMPARE(rig.prompter.shown.size(), switched || message.isEmpty() ? 0 : 1);
        for (const Prompter::Box& box : rig.prompter.shown) {
            QVERIFY2(box.text.startsWith(message), qPrintable(box.text));
            QCOMPARE(box.icon, message == rig.state.msg.MsgOpenDatabaseFailed
                                   ? Prompter::Icon::Critical
                                   : Prompter::Icon::None);
        }
        if (kind == "empty") // tried, never changed
            QCOMPARE(QFileInfo(chosen).size(), 0);
        QCOMPARE(rig.child<QLineEdit>("Text1")->text(), switched ? other.db : rig.viewer.db);
        QCOMPARE(rig.state.reloadRequested, switched);
        // Only OK saves the new path, for the load that opens it.
        QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
        rig.click(kind == "good, Cancel" ? "CancelButton" : "OKButton");
        QCOMPARE(rig.store.own("OrbivuDBPath"), kind == "good" ? other.db : rig.viewer.db);
        QCOMPARE(rig.state.reloadRequested, kind == "good");
    }

    // A settings file that cannot be written: the user is told, and the live values keep
    // what is really stored.
    void unwritableSettings()
    {
        Rig rig;
        rig.store.readOnly = true;
        Dialog& d = rig.open();
        rig.click("Option1");
        rig.click("Check_WriteLogFile");
        rig.click("Option7");
        rig.type("Text2", "900");
        rig.click("OKButton");
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.prompter.shown.size(), 1);
        QCOMPARE(rig.prompter.shown[0].icon, Prompter::Icon::Critical);
        for (const char* key :
             {"Language", "SaveLog", "RecDelaySec", "ShutDownType", "RuleMinutes"})
            QVERIFY2(rig.prompter.shown[0].text.contains(key), key);
        const Settings& v = rig.state.settings;
        QVERIFY(!rig.state.reloadRequested && !v.saveLog);
        QCOMPARE(v.recDelaySec, qint16(500));
        QCOMPARE(v.shutDownType, u"Never"_s);
        QCOMPARE(rig.view.shutdownLabel, u"NoShutdown"_s);
    }

    // The scheduler's timer ticks on while the dialog is open, and a start by the standby test
    // is taken back when an overlap had stopped it; OK with a change reloads.
    void settingsCommand_data()
    {
        QTest::addColumn<bool>("timerBefore");
        QTest::addColumn<bool>("reload");
        QTest::newRow("ticking, new language") << true << true;
        QTest::newRow("stopped by an overlap, standby test") << false << false;
    }
    void settingsCommand()
    {
        QFETCH(bool, timerBefore);
        QFETCH(bool, reload);
        AppState state;
        test::FakeTimer timer;
        timer.active = timerBefore;
        bool tickingDuringDialog = false;
        int reloads = 0;
        const auto dialog = [&] {
            tickingDuringDialog = timer.isActive();
            timer.start(); // the standby test
            state.reloadRequested = reload;
        };
        runSettingsCommand(state, timer, dialog, [&] { ++reloads; });
        QCOMPARE(tickingDuringDialog, timerBefore);
        QCOMPARE(timer.active, timerBefore);
        QCOMPARE(reloads, reload ? 1 : 0);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
