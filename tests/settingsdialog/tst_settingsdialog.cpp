// The settings dialog offscreen through its real widgets, with the fake settings store,
// autostart and prompter, and real SQLite files for the database search.

#include "appstate.h"
#include "autostart.h"
#include "fakes.h"
#include "settingsdialog.h"
#include "settingseditor.h"
#include "settingsstore.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
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
using Shutdown = DialogValues::Shutdown;

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

// Every key the OK button writes, in the order of its steps.
const QStringList kOkKeys{"UseShortdesc", "IgnoreOverlap", "StartPendingRecord",
                          "RecDelay",     "SaveLog",       "Streamonly",
                          "AutoRun",      "AskForClose",   "AutoClose",
                          "WaitForClose", "ShutDownType"};

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

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
    void click(const char* name)
    {
        QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton);
    }
    void type(const char* name, const QString& text) { child<QLineEdit>(name)->setText(text); }

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
    void captions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const QList<std::pair<const char*, QString>> rows{
            {"Frame1", "Sprache   /   Language"},
            {"Option1", "Deutsch"},
            {"Option2", "English"},
            {"Frame2", "Pfad zur Orbivu Datenbank   /   Path to Orbivu database"},
            {"Frame3", "Start Einstellungen  / Start options"},
            {"Check_IgnoreOverlap",
             "Überlappende Aufnahmen trotzdem starten / Ignore overlapping recordings"},
            {"Check_StartPendingRecord",
             "Restzeit abgelaufener Aufnahmen starten / Start rest of timed out recordings"},
            {"Check_AutoClose",
             "Orbivu vor einer Aufnahme schließen / Autoclose Orbivu before record"},
            {"Check_WriteLogFile", "Log Datei speichern / Write log file"},
            {"Check_CloseQuestion",
             "Vor Beenden fragen (falls Aufnahmen geplannt) / Ask for close (if ToDo>1)"},
            {"Option3", "Autostart "},
            {"Option5", "Manual start"},
            {"Frame4", "PC Ausschalt-Einstellungen / Shutdown options"},
            {"Option4", "PC nie ausschalten / Never shutdown PC "},
            {"Option6",
             "PC nach der letzen Aufnahme ausschalten / Shutdown PC after last recording"},
            {"Option7", "PC entsprechend ITime ausschalten / Shutdown by ITime"},
            {"Label4", "ITime: Mindestzeit zwischen Aufnahmen / min. time between recordings"},
            {"Check_WaitProg", "Auf Programm warten / Wait for program"},
            {"CommandCheck_Suspend",
             "StandBy aktivieren (falls möglich) / Enable Standby Option if possible"},
            {"Command_CheckPower", "Bereitschaft prüfen / Check power set-up"},
            {"Frame5", "Orbivu Optionen / Orbivu options"},
            {"Check_Delay", "msek Aufnahmeverzögerung / msec recorddelay"},
            {"Check_Streamonly",
             "Verwende \"/streamonly\" bei der Aufnahme / Use \"/streamonly\" for record"},
            {"CheckReName",
             "Verwende \"Shortdescription\" als Dateiname / Use Shortdesc as filename"},
            {"OKButton", "OK"},
            {"CancelButton", "Abbrechen / Cancel"},
        };
        for (const auto& [name, caption] : rows)
            QTest::newRow(name) << QString::fromLatin1(name) << caption;
    }
    void captions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Rig rig;
        Dialog& d = rig.open();
        QCOMPARE(d.windowTitle(), QStringLiteral("Settings"));
        QWidget* w = d.findChild<QWidget*>(name);
        QVERIFY(w);
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w))
            text = g->title();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        QCOMPARE(text, caption);
    }

    // The readiness report beside the dialog, not in its way: the dialog stays usable.
    void powerReport()
    {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/dorvel-test");
        Rig rig;
        Dialog& d = rig.open();
        QCOMPARE(rig.child("Command_CheckPower")->accessibleName(),
                 QStringLiteral("Bereitschaft prüfen / Check power set-up"));
        rig.click("Command_CheckPower");
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = d.findChild<QMessageBox*>("PowerReport")) && box->isVisible());
        QVERIFY(!box->isModal());
        QVERIFY2(box->text().startsWith("Is this PC ready for unattended recording?") &&
                     box->text().contains("logind CanPowerOff: logind does not answer") &&
                     box->text().endsWith("must be put right first.\n"),
                 qPrintable(box->text()));
        QVERIFY(rig.child("OKButton")->isEnabled());
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
        QVERIFY(!rig.child<QPushButton>("Command_Search")->icon().isNull());
        for (QAbstractButton* b : d.findChildren<QAbstractButton*>())
            QVERIFY2(!b->text().isEmpty() || !b->accessibleName().isEmpty(),
                     qPrintable(b->objectName()));
    }

    void fill_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("checkedShutdown"); // empty: none
        QTest::newRow("Never") << QString("Never") << QString("Option4");
        QTest::newRow("LastRec") << QString("LastRec") << QString("Option6");
        QTest::newRow("Rule") << QString("Rule") << QString("Option7");
        QTest::newRow("hand-edited") << QString("rule") << QString();
    }
    void fill()
    {
        QFETCH(QString, type);
        QFETCH(QString, checkedShutdown);
        const bool iTimeEnabled = type == "Rule";
        Rig rig;
        Settings& v = rig.state.settings;
        v.language = "deu";
        v.useShortdesc = false;
        v.ignoreOverlap = true;
        v.startPendingRecord = false;
        v.saveLog = true;
        v.recDelay = false;
        v.recDelaySec = 1234;
        v.streamonly = false;
        v.autoRun = true;
        v.askForClose = false;
        v.autoClose = true;
        v.waitForClose = true;
        v.waitForProg = "my tool.exe";
        v.shutDownType = type;
        v.ruleMinutes = 321;
        rig.view.geometry = {1440, 2880, 6000, 3000};
        rig.open();
        QVERIFY(rig.child<QRadioButton>("Option1")->isChecked());
        QCOMPARE(rig.child<QLineEdit>("Text1")->text(), rig.viewer.db);
        QVERIFY(!rig.child<QCheckBox>("CheckReName")->isChecked());
        QVERIFY(rig.child<QCheckBox>("Check_IgnoreOverlap")->isChecked());
        QVERIFY(!rig.child<QCheckBox>("Check_StartPendingRecord")->isChecked());
        QVERIFY(rig.child<QCheckBox>("Check_WriteLogFile")->isChecked());
        QVERIFY(!rig.child<QCheckBox>("Check_Delay")->isChecked());
        QCOMPARE(rig.child<QLineEdit>("Text2")->text(), QStringLiteral("1234"));
        QVERIFY(!rig.child("Text2")->isEnabled());
        QVERIFY(!rig.child<QCheckBox>("Check_Streamonly")->isChecked());
        QVERIFY(rig.child<QRadioButton>("Option3")->isChecked());
        QVERIFY(!rig.child<QCheckBox>("Check_CloseQuestion")->isChecked());
        QVERIFY(rig.child<QCheckBox>("Check_AutoClose")->isChecked());
        QVERIFY(rig.child<QCheckBox>("Check_WaitProg")->isChecked());
        QCOMPARE(rig.child<QLineEdit>("Text_WaitForProg")->text(), QStringLiteral("my tool.exe"));
        QCOMPARE(rig.child<QLineEdit>("Text4")->text(), QStringLiteral("321"));
        QCOMPARE(rig.child("Text4")->isEnabled(), iTimeEnabled);
        for (const char* o : {"Option4", "Option6", "Option7"})
            QCOMPARE(rig.child<QRadioButton>(o)->isChecked(), checkedShutdown == o);

        // The immediate reactions of the delay check and the shutdown options.
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
        // Live language, language option clicked, stored database path, saved language,
        // reload requested.
        QTest::addColumn<QStringList>("r");
        QTest::newRow("no change") << QStringList{"eng", "", "<same>", "<absent>", "no"};
        QTest::newRow("to German") << QStringList{"eng", "Option1", "<same>", "deu", "yes"};
        QTest::newRow("to English") << QStringList{"deu", "Option2", "<same>", "eng", "yes"};
        QTest::newRow("German kept") << QStringList{"deu", "Option1", "<same>", "<absent>", "no"};
        // A language never chosen is left for the language form.
        QTest::newRow("no language yet") << QStringList{"", "Option2", "<same>", "<absent>", "no"};
        QTest::newRow("stored path differs")
            << QStringList{"eng", "", "/elsewhere/Orbivu.mdb", "<absent>", "yes"};
    }
    void ok()
    {
        QFETCH(QStringList, r);
        Rig rig;
        rig.state.settings.language = r[0];
        if (r[2] != "<same>")
            rig.store.setOwn("OrbivuDBPath", r[2]);
        rig.state.reloadRequested = true; // OK decides anew
        Dialog& d = rig.open();
        if (!r[1].isEmpty())
            rig.click(r[1].toLatin1());
        rig.click("OKButton");

        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.store.own("Language"), r[3]);
        QCOMPARE(rig.state.settings.language, r[0]); // the load takes it up
        QCOMPARE(rig.state.reloadRequested, r[4] == "yes");
        QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
        // Every flag and the type are written even when nothing changed.
        const QStringList defaults{"1", "0", "1", "1", "0", "1", "0", "1", "0", "0", "Never"};
        for (int i = 0; i < kOkKeys.size(); ++i)
            QCOMPARE(rig.store.own(kOkKeys[i]), defaults[i]);
        QCOMPARE(rig.store.own("RecDelaySec"), QStringLiteral("500"));
        QCOMPARE(rig.store.own("WaitForProg"), QStringLiteral("<absent>"));
        QCOMPARE(rig.store.own("RuleMinutes"), QStringLiteral("<absent>"));
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void changedValuesReachStoreAndLiveState()
    {
        Rig rig;
        rig.view.goTimerVisibleFlag = true;
        rig.open();
        for (const char* c : {"CheckReName", "Check_IgnoreOverlap", "Check_StartPendingRecord",
                              "Check_Delay", "Check_WriteLogFile", "Check_Streamonly",
                              "Check_CloseQuestion", "Check_AutoClose", "Check_WaitProg"})
            rig.click(c);
        rig.click("Option3");
        rig.click("Option7");
        rig.type("Text4", " 45 ");
        rig.type("Text_WaitForProg", "  ffmpeg  ");
        rig.click("OKButton");
        const QStringList expected{"0", "1", "0", "0", "1", "0", "1", "0", "1", "1", "Rule"};
        for (int i = 0; i < kOkKeys.size(); ++i)
            QCOMPARE(rig.store.own(kOkKeys[i]), expected[i]);
        QCOMPARE(rig.store.own("RuleMinutes"), QStringLiteral("45"));
        QCOMPARE(rig.store.own("WaitForProg"), QStringLiteral("ffmpeg"));
        const Settings& v = rig.state.settings;
        QVERIFY(!v.useShortdesc && v.ignoreOverlap && !v.startPendingRecord && !v.recDelay &&
                v.saveLog && !v.streamonly && v.autoRun && !v.askForClose && v.autoClose &&
                v.waitForClose);
        QCOMPARE(v.shutDownType, QStringLiteral("Rule"));
        QCOMPARE(v.ruleMinutes, qint16(45));
        QCOMPARE(v.waitForProg, QStringLiteral("ffmpeg"));
        QCOMPARE(rig.view.shutdownLabel, QStringLiteral("ITime"));
        QVERIFY(rig.view.noShutDownEnabled);
        QVERIFY(rig.view.goTimerEnabled);
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
        rig.click(r[0].toLatin1());
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
        QTest::newRow("delay 10 ignored")
            << QStringList{"Text2", "10", "Option7", "", rd, "<absent>"};
        QTest::newRow("delay 11 taken") << QStringList{"Text2", "11", "Option7", "", rd, "11"};
        QTest::newRow("delay empty") << QStringList{"Text2", "", "Option7", "", rd, "<absent>"};
        QTest::newRow("delay -5") << QStringList{"Text2", "-5", "Option7", "", rd, "<absent>"};
        QTest::newRow("delay 32767") << QStringList{"Text2", "32767", "Option7", "", rd, "32767"};
        QTest::newRow("delay 32768") << QStringList{"Text2", "32768", "Option7", delay};
        QTest::newRow("delay 70000 not wrapped") << QStringList{"Text2", "70000", "Option7", delay};
        QTest::newRow("delay 12abc") << QStringList{"Text2", "12abc", "Option7", delay};
        QTest::newRow("ITime 14") << QStringList{"Text4", "14", "Option7", range};
        QTest::newRow("ITime 15") << QStringList{"Text4", "15", "Option7", "", rm, "15"};
        QTest::newRow("ITime 999") << QStringList{"Text4", " 999 ", "Option7", "", rm, "999"};
        QTest::newRow("ITime 1000") << QStringList{"Text4", "1000", "Option7", range};
        QTest::newRow("ITime 70000") << QStringList{"Text4", "70000", "Option7", range};
        QTest::newRow("ITime 20abc") << QStringList{"Text4", "20abc", "Option7", range};
        QTest::newRow("ITime -5") << QStringList{"Text4", "-5", "Option7", range};
        // Text4 is saved only with "Shutdown by ITime", so only then checked.
        QTest::newRow("ITime 14 unused")
            << QStringList{"Text4", "14", "Option6", "", rm, "<absent>"};
        QTest::newRow("program with blank")
            << QStringList{"Text_WaitForProg", "My Tool.exe", "Option4", "", wp, "My Tool.exe"};
        QTest::newRow("program in blanks")
            << QStringList{"Text_WaitForProg", " ffmpeg ", "Option4", "", wp, "ffmpeg"};
        QTest::newRow("program path")
            << QStringList{"Text_WaitForProg", "/usr/bin/x", "Option4", prog};
        QTest::newRow("program 10000 characters")
            << QStringList{"Text_WaitForProg", QString(10000, 'x'), "Option4", prog};
        QTest::newRow("program 255 characters") << QStringList{
            "Text_WaitForProg", QString(255, 'x'), "Option4", "", wp, QString(255, 'x')};
    }
    void fields()
    {
        QFETCH(QStringList, r);
        Rig rig;
        rig.state.settings.shutDownType = "Rule";
        Dialog& d = rig.open();
        rig.click(r[2].toLatin1());
        rig.type(r[0].toLatin1(), r[1]);
        rig.click("OKButton");
        const Settings& v = rig.state.settings;
        if (!r[3].isEmpty()) {
            QCOMPARE(rig.prompter.texts(), QStringList{r[3]});
            QCOMPARE(d.result(), int(QDialog::Rejected));                        // still open
            QCOMPARE(rig.store.own("ShutDownType"), QStringLiteral("<absent>")); // nothing written
            QCOMPARE(v.recDelaySec, qint16(500));
            QCOMPARE(v.ruleMinutes, qint16(60));
            QCOMPARE(v.waitForProg, QStringLiteral("TMPGenc.exe"));
            return;
        }
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(rig.store.own(r[4]), r[5]);
        const QString live = r[4] == "RecDelaySec"   ? QString::number(v.recDelaySec)
                             : r[4] == "RuleMinutes" ? QString::number(v.ruleMinutes)
                                                     : v.waitForProg;
        if (r[5] != "<absent>")
            QCOMPARE(live, r[5]);
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
        QVERIFY(d.isVisible());
        QVERIFY(text4->hasFocus());

        text4->setText("15");
        rig.click("OKButton");
        QCOMPARE(rig.prompter.shown.size(), 2);
        QCOMPARE(rig.store.own("RuleMinutes"), QStringLiteral("15"));
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
        QCOMPARE(rig.store.own("AutoRun"), QStringLiteral("<absent>"));
        QVERIFY(!rig.state.settings.autoRun);

        rig.state.settings.autoRun = true;
        rig.open();
        rig.click("Option5");
        QCOMPARE(rig.autostart.calls.last(), QStringLiteral("delete Dorvel"));
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

    // A language chosen before the viewer started is not applied behind its back.
    void viewerStartedAfterChoice()
    {
        Rig rig;
        rig.open();
        rig.click("Option1");
        rig.click("Check_AutoClose");
        rig.state.orbivuState = 1;
        rig.click("OKButton");
        QCOMPARE(rig.prompter.texts(), QStringList{SettingsEditor::viewerRunsText()});
        QCOMPARE(rig.store.own("Language"), QStringLiteral("<absent>"));
        QVERIFY(!rig.state.reloadRequested);
        QCOMPARE(rig.store.own("AutoClose"), QStringLiteral("1"));
    }

    void search_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // empty: none; "<switch>": switched
        const MessageTable msg = MessageTable::forLanguage("eng");
        QTest::newRow("cancelled") << QString("cancel") << QString();
        QTest::newRow("current file") << QString("current") << QString();
        QTest::newRow("missing") << "missing" << msg.MsgNoDatabase;
        QTest::newRow("folder") << "folder" << msg.MsgNoDatabase;
        QTest::newRow("empty file") << "empty" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("not SQLite") << "garbage" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("no tables") << "notables" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("locked by the viewer") << "locked" << msg.MsgOpenDatabaseFailed;
        QTest::newRow("other name")
            << "othername" << msg.MsgNoDatabase + "\n" + SettingsEditor::fileNameText();
        QTest::newRow("no viewer program") << "noexe" << SettingsEditor::viewerFolderText("");
        QTest::newRow("another viewer") << QString("good") << QString("<switch>");
        QTest::newRow("another viewer, Cancel") << QString("good, Cancel") << QString("<switch>");
    }
    void search()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Rig rig;
        const test::ViewerFolder other = test::ViewerFolder::create(rig.dir.filePath("other"));
        QString chosen = other.db;
        QByteArray content;
        std::unique_ptr<QSqlDatabase> locker;
        if (kind == "cancel") {
            chosen.clear();
        } else if (kind == "current") {
            chosen = rig.viewer.db;
        } else if (kind == "missing") {
            QFile::remove(chosen);
        } else if (kind == "folder") {
            QFile::remove(chosen);
            QDir().mkpath(chosen);
        } else if (kind == "empty" || kind == "garbage") {
            QFile f(chosen);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            content = kind == "empty" ? QByteArray() : QByteArray("Standard Jet DB\0\x01", 17);
            f.write(content);
        } else if (kind == "notables") {
            QFile::remove(chosen);
            {
                auto d = QSqlDatabase::addDatabase("QSQLITE", "notables");
                d.setDatabaseName(chosen);
                QVERIFY(d.open());
                QSqlQuery(d).exec("CREATE TABLE RECORD(X INTEGER)");
                d.close();
            }
            QSqlDatabase::removeDatabase("notables");
        } else if (kind == "locked") {
            locker = std::make_unique<QSqlDatabase>(QSqlDatabase::addDatabase("QSQLITE", "viewer"));
            locker->setDatabaseName(chosen);
            QVERIFY(locker->open());
            QVERIFY(QSqlQuery(*locker).exec("BEGIN EXCLUSIVE"));
        } else if (kind == "othername") {
            const QString renamed = other.root + "Database/Recordings.mdb";
            QVERIFY(QFile::rename(chosen, renamed));
            chosen = renamed;
        } else if (kind == "noexe") {
            QVERIFY(QFile::remove(other.exe));
        }
        if (kind == "cancel")
            rig.prompter.fileAnswers.enqueue(std::nullopt);
        else
            rig.prompter.fileAnswers.enqueue(chosen);

        rig.state.reloadRequested = true;
        rig.open();
        rig.click("Command_Search");
        QCOMPARE(rig.prompter.fileDialogs.size(), 1);
        QCOMPARE(rig.prompter.fileDialogs[0],
                 (QStringList{"Select your Orbivu database", "Database Files (*.mdb *.MDB)",
                              rig.viewer.db}));
        // The database in use stays open until the dialog has closed, whatever was chosen.
        QCOMPARE(rig.db.path(), rig.viewer.db);
        QVERIFY(rig.db.isOpen());
        if (locker) {
            QSqlQuery(*locker).exec("ROLLBACK");
            locker->close();
            locker.reset();
            QSqlDatabase::removeDatabase("viewer");
        }

        if (message != "<switch>") {
            if (message.isEmpty()) {
                QVERIFY(rig.prompter.shown.isEmpty());
            } else {
                QCOMPARE(rig.prompter.shown.size(), 1);
                QVERIFY2(rig.prompter.shown[0].text.startsWith(message),
                         qPrintable(rig.prompter.shown[0].text));
                const bool critical = message == rig.state.msg.MsgOpenDatabaseFailed;
                QCOMPARE(rig.prompter.shown[0].icon,
                         critical ? Prompter::Icon::Critical : Prompter::Icon::None);
            }
            QCOMPARE(rig.child<QLineEdit>("Text1")->text(), rig.viewer.db);
            QVERIFY(!rig.state.reloadRequested);
            if (kind == "empty" || kind == "garbage") // tried, never changed
                QCOMPARE(readFile(chosen), content);
            rig.click("OKButton");
            QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
            QVERIFY(!rig.state.reloadRequested);
            return;
        }
        QVERIFY(rig.prompter.shown.isEmpty());
        QCOMPARE(rig.child<QLineEdit>("Text1")->text(), other.db);
        QVERIFY(rig.state.reloadRequested);
        // Only OK saves the new path, for the load that opens it; after Cancel the database in
        // use simply stays.
        QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
        if (kind == "good, Cancel") {
            rig.click("CancelButton");
            QVERIFY(!rig.state.reloadRequested);
            QCOMPARE(rig.store.own("OrbivuDBPath"), rig.viewer.db);
            return;
        }
        rig.click("OKButton");
        QCOMPARE(rig.store.own("OrbivuDBPath"), other.db);
        QVERIFY(rig.state.reloadRequested);
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
        const QString& text = rig.prompter.shown[0].text;
        for (const char* key :
             {"Language", "SaveLog", "RecDelaySec", "ShutDownType", "RuleMinutes"})
            QVERIFY2(text.contains(key), key);
        QVERIFY(!rig.state.reloadRequested);
        QVERIFY(!rig.state.settings.saveLog);
        QCOMPARE(rig.state.settings.recDelaySec, qint16(500));
        QCOMPARE(rig.state.settings.shutDownType, QStringLiteral("Never"));
        QCOMPARE(rig.view.shutdownLabel, QStringLiteral("NoShutdown"));
    }

    void realStoreReportsAFailedSave()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
        QtSettingsStore store;
        QCOMPARE(store.fileName("Dorvel"), dir.filePath("Dorvel/Dorvel.conf"));
        // A folder where the file should be: not even root can write it.
        QVERIFY(QDir().mkpath(dir.filePath("Dorvel/Dorvel.conf")));
        QVERIFY(!store.save("Dorvel", "Startup", "SaveLog", "1"));
        // Later reads in the same process see what the file holds, not the unsaved value.
        QCOMPARE(store.get("Dorvel", "Startup", "SaveLog", "<absent>"), QStringLiteral("<absent>"));
        QVERIFY(QDir().rmdir(dir.filePath("Dorvel/Dorvel.conf")));
        QVERIFY(store.save("Dorvel", "Startup", "SaveLog", "1"));
        QCOMPARE(store.get("Dorvel", "Startup", "SaveLog", "<absent>"), QStringLiteral("1"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void settingsCommand_data()
    {
        QTest::addColumn<bool>("timerBefore");
        QTest::addColumn<bool>("standbyTestStartsTimer");
        QTest::addColumn<bool>("reload");
        QTest::addColumn<bool>("timerAfter");
        QTest::newRow("ticking, nothing changed") << true << false << false << true;
        QTest::newRow("ticking, new language") << true << false << true << true;
        QTest::newRow("stopped by an overlap, standby test") << false << true << false << false;
    }
    void settingsCommand()
    {
        QFETCH(bool, timerBefore);
        QFETCH(bool, standbyTestStartsTimer);
        QFETCH(bool, reload);
        QFETCH(bool, timerAfter);
        AppState state;
        test::FakeTimer timer;
        timer.active = timerBefore;
        bool tickingDuringDialog = false;
        int reloads = 0;
        runSettingsCommand(
            state, timer,
            [&] {
                tickingDuringDialog = timer.isActive();
                if (standbyTestStartsTimer)
                    timer.start();
                state.reloadRequested = reload;
            },
            [&] { ++reloads; });
        QCOMPARE(tickingDuringDialog, timerBefore);
        QCOMPARE(timer.active, timerAfter);
        QCOMPARE(reloads, reload ? 1 : 0);
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
