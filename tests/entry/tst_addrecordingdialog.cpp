// The add-recording form through its real widgets, over a real SQLite file and a hand-set clock.

#include "../todolist/dbfixture.h"
#include "addrecordingdialog.h"
#include "appstate.h"
#include "fakes.h"
#include "viewerdb.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;
using namespace Qt::StringLiterals;
using dorvel::test::DbFixture;
using dorvel::test::FakeClock;
using dorvel::test::FakePrompter;
using Rows = QList<QVariantList>;

namespace {
const QDateTime kNoon(QDate(2026, 12, 5), QTime(12, 0));
}

class TestAddRecordingDialog : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_path;
    int m_n = 0;
    std::unique_ptr<DbFixture> m_fixture;
    AppState m_state;
    FakePrompter m_prompter;
    FakeClock m_clock{kNoon};
    ViewerDatabase m_db;
    std::unique_ptr<AddRecordingDialog> m_form;

    template <typename W = QLineEdit> W* w(const char* name)
    {
        auto* x = m_form->findChild<W*>(QString::fromLatin1(name));
        if (!x)
            qFatal("no control %s", name);
        return x;
    }
    QString text(const char* name) { return w(name)->text(); }

    bool open()
    {
        m_form = std::make_unique<AddRecordingDialog>(
            EntryServices{m_state, m_db, m_prompter, m_clock}, nullptr);
        if (!m_form->load())
            return false;
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        return QTest::qWaitForWindowActive(m_form.get());
    }

    // Replaces a field's text as a user does: focus, select all, type.
    void type(const char* name, const QString& t)
    {
        QLineEdit* e = w(name);
        e->setFocus(Qt::TabFocusReason);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, t);
    }
    // A click as the window system delivers it: through the form's window, which moves the
    // focus before the control sees the press.
    void click(QWidget* c)
    {
        QTest::mouseClick(m_form->windowHandle(), Qt::LeftButton, {},
                          c->mapTo(m_form.get(), c->rect().center()));
    }
    QString focused() const
    {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    }

private Q_SLOTS:
    void init()
    {
        m_path = m_dir.filePath(u"Orbivu%1.mdb"_s.arg(++m_n));
        m_fixture = std::make_unique<DbFixture>(m_path);
        for (const auto& [num, name] : std::initializer_list<std::pair<int, const char*>>{
                 {9, "ZDF"}, {7, "arte"}, {1, "  Das Erste "}, {3, "Kid's TV"}, {12, "ZDF"}})
            m_fixture->channel(num, QString::fromUtf8(name));
        QVERIFY(m_db.open(m_path));
        m_state = AppState();
        m_state.msg = MessageTable::forLanguage(u"eng"_s);
        m_state.prerecordMinutes = 4;
        m_state.postrecordMinutes = 7;
        m_prompter = FakePrompter();
        m_clock.set(kNoon);
    }
    void cleanup()
    {
        m_form.reset();
        m_db.close();
        m_fixture.reset();
    }

    void proposal_data()
    {
        QTest::addColumn<QTime>("now");
        QTest::addColumn<int>("lead");           // the default lead minutes
        QTest::addColumn<QStringList>("fields"); // start date, start, stop date, stop, until, lead
        QTest::addColumn<QString>("sdesc");
        QTest::addColumn<int>("startSpin");
        QTest::newRow("noon") << QTime(12, 0) << 4
                              << QStringList{"2026.12.05", "12:10",      "2026.12.05",
                                             "12:20",      "2026.12.15", "4"}
                              << u"Das_Erste-2026_12_05-12_10"_s << 730;
        // A negative default shows as 0 in field and spin alike, which passes the check.
        QTest::newRow("five to midnight, negative lead")
            << QTime(23, 55) << -3
            << QStringList{"2026.12.06", "00:05", "2026.12.06", "00:15", "2026.12.16", "0"}
            << u"Das_Erste-2026_12_06-00_05"_s << 5;
    }
    void proposal()
    {
        QFETCH(QTime, now);
        QFETCH(int, lead);
        QFETCH(QStringList, fields);
        QFETCH(QString, sdesc);
        QFETCH(int, startSpin);
        m_state.prerecordMinutes = lead;
        m_clock.set(QDateTime(kNoon.date(), now));
        QVERIFY(open());
        QCOMPARE(
            (QStringList{text("Text_StartDate"), text("Text_StartTime"), text("Text_StopDate"),
                         text("Text_StopTime"), text("Text_UntilDate"), text("Text_PreRecord")}),
            fields);
        QCOMPARE(text("Text_Sdesc"), sdesc);
        QCOMPARE(w<QComboBox>("Combo_Num")->currentText(), u"1"_s);
        QCOMPARE(w<QComboBox>("Combo_Name")->currentText(), u"Das Erste"_s);
        QCOMPARE(w<QComboBox>("Combo_Num")->count(), 5);
        QCOMPARE(text("Text_PostRecord"), u"7"_s);
        QCOMPARE(w<QScrollBar>("Scroll_PreRecord")->value(), fields.last().toInt());
        QCOMPARE(w<QScrollBar>("Scroll_Starttime")->value(), startSpin);
        QCOMPARE(w<QScrollBar>("Scroll_PostRecord")->value(), 7);
        QCOMPARE(focused(), u"OKButton"_s);
        // The date spins count from the proposed start's day.
        w<QScrollBar>("Scroll_Untildate")->setValue(400);
        QCOMPARE(text("Text_UntilDate"),
                 QDate::fromString(fields.at(0), "yyyy.MM.dd").addDays(400).toString("yyyy.MM.dd"));
        QVERIFY(m_prompter.shown.isEmpty());
        // The spin controls have no caption: an assistive tool needs a name.
        for (QWidget* c : m_form->findChildren<QScrollBar*>())
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
    }

    void channelListsInStep()
    {
        QVERIFY(open());
        auto* num = w<QComboBox>("Combo_Num");
        auto* name = w<QComboBox>("Combo_Name");
        num->setCurrentIndex(num->findText("7"));
        QCOMPARE(name->currentText(), u"arte"_s);
        QCOMPARE(text("Text_Sdesc"), u"arte-2026_12_05-12_10"_s);
        // An apostrophe in a name is a value like any other.
        name->setCurrentIndex(name->findText("Kid's TV"));
        QCOMPARE(num->currentText(), u"3"_s);
        QCOMPARE(text("Text_Sdesc"), u"Kid#s_TV-2026_12_05-12_10"_s);
        // Two channels of one name: either entry picks the one the database holds first.
        name->setCurrentIndex(name->findText("ZDF") + 1);
        QCOMPARE(num->currentText(), u"9"_s);
        // The first key in the description ends the proposal.
        QTest::keyClick(w("Text_Sdesc"), Qt::Key_End);
        num->setCurrentIndex(num->findText("1"));
        QCOMPARE(name->currentText(), u"Das Erste"_s);
        QCOMPARE(text("Text_Sdesc"), u"ZDF-2026_12_05-12_10"_s);
        QVERIFY(m_prompter.shown.isEmpty());
    }

    void spinControls()
    {
        QVERIFY(open());
        auto* spin = w<QScrollBar>("Scroll_Starttime");
        spin->setValue(0);
        QCOMPARE(text("Text_StartTime"), u"00:00"_s);
        spin->setValue(1439);
        QCOMPARE(text("Text_StartTime"), u"23:59"_s);
        // Typing does not move the spin; the next step starts from the spin's own value.
        type("Text_StartTime", "20:00");
        QCOMPARE(spin->value(), 1439);
        spin->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(text("Text_StartTime"), u"23:58"_s);
        // A spin change is no check and leaves the description alone.
        QCOMPARE(text("Text_Sdesc"), u"Das_Erste-2026_12_05-12_10"_s);
        w<QScrollBar>("Scroll_PreRecord")->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(text("Text_PreRecord"), u"5"_s);
        // The spin beside an invalid field may mend it; another field's spin is a move away.
        type("Text_StartTime", "25:00");
        click(spin);
        QVERIFY(m_prompter.shown.isEmpty());
        spin->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(text("Text_StartTime"),
                 QTime(0, 0).addSecs(spin->value() * 60).toString(u"HH:mm"_s));
        QCOMPARE(focused(), u"Text_StartTime"_s);
        type("Text_StartTime", "25:00");
        click(w<QScrollBar>("Scroll_Stoptime"));
        QCOMPARE(m_prompter.texts(), QStringList{m_state.msg.MsgInvalidDateTime});
    }

    void leavingAField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("message"); // empty: the focus moves on
        QTest::addColumn<QString>("sdesc");   // the description after: a start date renews it
        const MessageTable m = MessageTable::forLanguage(u"eng"_s);
        const QString bad = m.MsgInvalidDateTime, range = m.MsgMinutesRange;
        const QString far = m.MsgNotWithinYear;
        const auto row = [](const char* name, const char* field, const QString& input,
                            const QString& message = {}, const QString& sdesc = {}) {
            QTest::newRow(name) << field << input << message << sdesc;
        };
        row("25:00", "Text_StartTime", "25:00", bad);
        row("24:00", "Text_StopTime", "24:00", bad);
        row("30 February", "Text_StartDate", "2026.02.30", bad);
        row("a word", "Text_StopDate", "morgen", bad);
        row("start date", "Text_StartDate", "2026.12.24", {}, "Das_Erste-2026_12_24-12_10");
        row("start 401 days ahead", "Text_StartDate", "2028.01.10", far,
            "Das_Erste-2028_01_10-12_10");
        row("stop 399 days ahead", "Text_StopDate", "2028.01.08");
        row("until 401 days ahead", "Text_UntilDate", "2028.01.10", far);
        row("until, other form", "Text_UntilDate", "24.12.2026");
        row("lead -1", "Text_PreRecord", "-1", range);
        row("trail 60", "Text_PostRecord", "60", range);
        row("lead 0", "Text_PreRecord", "0");
        row("trail 59", "Text_PostRecord", "59");
        row("no digits", "Text_PreRecord", "abc");
        row("one character", "Text_Sdesc", "x", m.MsgTooShort);
        row("two characters", "Text_Sdesc", "xy");
    }
    void leavingAField()
    {
        QFETCH(QString, field);
        QFETCH(QString, input);
        QFETCH(QString, message);
        QFETCH(QString, sdesc);
        QVERIFY(open());
        type(field.toLatin1().constData(), input);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(m_prompter.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(focused() == field, !message.isEmpty());
        QCOMPARE(text(field.toLatin1().constData()), input);
        // Also a refused start date renews the description, unless it cannot be read.
        if (field != "Text_Sdesc")
            QCOMPARE(text("Text_Sdesc"), sdesc.isEmpty() ? u"Das_Erste-2026_12_05-12_10"_s : sdesc);
        // A click elsewhere is held back the same way, and does not act.
        auto* weekly = w<QRadioButton>("Option_Weekly");
        if (!message.isEmpty()) {
            click(weekly);
            QCOMPARE(m_prompter.shown.size(), 2);
            QVERIFY(!weekly->isChecked());
            QCOMPARE(focused(), field);
        }
    }

    void okWithAnInvalidFieldWritesNothing()
    {
        QVERIFY(open());
        auto* ok = w<QPushButton>("OKButton");
        type("Text_StartTime", "25:00");
        click(ok);
        QCOMPARE(m_prompter.texts(), QStringList{m_state.msg.MsgInvalidDateTime});
        QCOMPARE(focused(), u"Text_StartTime"_s);
        // Return in the field presses OK, which checks every field first.
        QTest::keyClick(w("Text_StartTime"), Qt::Key_Return);
        QCOMPARE(m_prompter.shown.size(), 2);
        QVERIFY(m_form->isVisible());
        // A field the user never entered is checked too, and gets the focus.
        w("Text_StartTime")->setText("12:10");
        w("Text_PostRecord")->setText("75");
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_Space);
        QCOMPARE(m_prompter.texts().last(), m_state.msg.MsgMinutesRange);
        QCOMPARE(focused(), u"Text_PostRecord"_s);
        type("Text_PostRecord", "5");
        // A commit refused by its checks keeps the form open too.
        w<QRadioButton>("Option_Daily")->click();
        w<QCheckBox>("Check6")->click(); // Saturday the 5th is the start day
        click(ok);
        QCOMPARE(m_prompter.texts().last(), m_state.msg.MsgWeekdayMismatch);
        QVERIFY(m_form->isVisible() && !m_form->entry().recordsAdded());
        QCOMPARE(m_fixture->rows("SELECT count(*) FROM RECORD"), Rows{{0}});
        w<QRadioButton>("Option_Once")->click();
        click(ok);
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->result(), int(QDialog::Accepted));
        QVERIFY(m_form->entry().recordsAdded());
        QCOMPARE(
            m_fixture->rows("SELECT STARTTIME, ENDTIME, SHORTDESC, PRERECORD, POSTRECORD "
                            "FROM RECORD"),
            (Rows{{"2026.12.05 12:10", "2026.12.05 12:20", "Das_Erste-2026_12_05-12_10", 4, 5}}));
    }

    void optionsSwitchTheWeekdays()
    {
        QVERIFY(open());
        auto* sunday = w<QCheckBox>("Check7");
        QVERIFY(!sunday->isEnabled());
        click(w<QRadioButton>("Option_Daily"));
        click(w<QRadioButton>("Option_Daily")); // a second click keeps the choice
        QVERIFY(w<QRadioButton>("Option_Daily")->isChecked());
        QVERIFY(!w<QRadioButton>("Option_Once")->isChecked());
        QVERIFY(sunday->isEnabled());
        QCOMPARE(sunday->checkState(), Qt::PartiallyChecked);
        click(sunday);
        QCOMPARE(sunday->checkState(), Qt::Unchecked);
        click(sunday);
        QCOMPARE(sunday->checkState(), Qt::Checked);
        click(sunday);
        click(w<QRadioButton>("Option_Weekly"));
        QVERIFY(!sunday->isEnabled());
        QCOMPARE(sunday->checkState(), Qt::Unchecked);
    }

    void unusableChannelTableClosesTheForm()
    {
        m_fixture->run("DELETE FROM CHANNELS");
        QVERIFY(!open());
        QCOMPARE(m_prompter.shown.size(), 1);
        QVERIFY(m_prompter.texts().first().contains(QLatin1String("no channels")));
    }
};

QTEST_MAIN(TestAddRecordingDialog)
#include "tst_addrecordingdialog.moc"
