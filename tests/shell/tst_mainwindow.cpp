// The main window offscreen: designed names and captions, colours, the language form, and the
// column widths that the to-do list and the view share.

#include "activitylist.h"
#include "fakes.h"
#include "languageform.h"
#include "mainwindow.h"
#include "messages.h"
#include "todolist.h"

#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace dorvel;

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("captions"); // Command1, 2, 3, 4, Frame2, Label2
        QTest::newRow("eng") << "eng" << QStringList{"StartOrbivu", "Get Recordings", "Settings",
                                                     "Del. Select", "Active Options", "Next Event"};
        QTest::newRow("deu") << "deu" << QStringList{"Orbivu starten",  "Lese Aufnahmen",
                                                     "Einstellungen",   "Auswahl löschen",
                                                     "Aktive Optionen", "Nächste Aufnahme"};
    }
    void captions()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, captions);
        TodoList todo;
        ActivityList activity;
        test::FakePrompter prompter;
        MainWindow w(todo, activity, prompter);
        w.applyLanguage(MessageTable::forLanguage(language));
        auto text = [&](const char* name) {
            return w.findChild<QPushButton*>(QString::fromLatin1(name))->text();
        };
        QCOMPARE(
            (QStringList{text("Command1"), text("Command2"), text("Command3"), text("Command4"),
                         w.findChild<QGroupBox*>(QStringLiteral("Frame2"))->title(),
                         w.findChild<QLabel*>(QStringLiteral("Label2"))->text()}),
            captions);
        QCOMPARE(text("Command5"), QStringLiteral("StandBy"));
        QCOMPARE(text("Command6"), QStringLiteral("Nocturo"));
        QCOMPARE(text("Command7"), QStringLiteral("Add Recording"));
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("Command5"))->isEnabled());
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("Command6"))->isEnabled());
        for (const char* name : {"MSFlexGrid1", "List1", "Label1", "Label_Event", "Label_Shutdown",
                                 "Label_StandBy", "Frame1"})
            QVERIFY2(w.findChild<QWidget*>(QString::fromLatin1(name)), name);
        QCOMPARE(w.palette().color(QPalette::Window), QColor(148, 181, 198));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("Label_StandBy"))
                     ->palette()
                     .color(QPalette::Window),
                 QColor(170, 210, 220));
    }

    void trayMenuOrder()
    {
        TodoList todo;
        ActivityList activity;
        test::FakePrompter prompter;
        MainWindow w(todo, activity, prompter);
        auto* menu = w.findChild<QMenu*>(QStringLiteral("mPopupSys"));
        QVERIFY(menu);
        // The entries the menu lays out, as the user sees them when it opens.
        auto shown = [menu] {
            QStringList texts;
            for (QAction* a : menu->actions()) {
                if (!menu->actionGeometry(a).isEmpty())
                    texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
            }
            return texts;
        };
        const QStringList rest{"&NoShutDown", "-", "&Update", "-", "&Restore", "&Exit"};
        QCOMPARE(shown(), rest); // the wake-up tool is offered only where it is installed
        w.setGoTimerVisible(true);
        QCOMPARE(shown(), QStringList{"&GoNocturo"} + rest);
    }

    void languageFormInsistsOnAChoice()
    {
        test::FakePrompter prompter;
        LanguageForm form(prompter);
        auto* ok = form.findChild<QPushButton*>(QStringLiteral("OKButton"));
        ok->click();
        QCOMPARE(prompter.texts(),
                 QStringList{QStringLiteral("Bitte Sprache auswählen / Please select a language")});
        QCOMPARE(form.language(), QString());
        form.findChild<QRadioButton*>(QStringLiteral("Option2"))->setChecked(true);
        ok->click();
        QCOMPARE(form.language(), QStringLiteral("eng"));
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.windowTitle(), QStringLiteral("Sprache auswählen / Select Language"));
    }

    // Widths go from the list to the view in twips and the user's drags come back.
    void columnWidthsRoundTrip()
    {
        TodoList todo;
        ActivityList activity;
        test::FakePrompter prompter;
        MainWindow w(todo, activity, prompter);
        auto* grid = w.findChild<QTableView*>(QStringLiteral("MSFlexGrid1"));
        todo.setColumnWidth(TodoList::ShortDesc, 1440);
        todo.setColumnWidth(TodoList::Channel, 1000);
        todo.setColumnWidth(TodoList::SortKey, 0);
        QCOMPARE(grid->horizontalHeader()->sectionSize(TodoList::ShortDesc - 1),
                 w.twipsToPixelsX(1440));
        QVERIFY(grid->isColumnHidden(TodoList::SortKey - 1));
        grid->horizontalHeader()->resizeSection(TodoList::Channel - 1, w.twipsToPixelsX(2880));
        QCOMPARE(todo.columnWidth(TodoList::Channel), 2880);
    }

    void closeAsksTheLogic()
    {
        TodoList todo;
        ActivityList activity;
        test::FakePrompter prompter;
        MainWindow w(todo, activity, prompter);
        int unloads = 0;
        bool allow = false;
        w.onQueryClose = [&] { return allow; };
        w.onUnload = [&] { ++unloads; };
        w.show();
        QVERIFY(!w.close());
        QCOMPARE(unloads, 0);
        allow = true;
        QVERIFY(w.close());
        QCOMPARE(unloads, 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
