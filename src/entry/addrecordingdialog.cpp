#include "addrecordingdialog.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>

namespace dorvel {

namespace {

const QColor kFormColour(148, 181, 198);
const QColor kLabelColour(170, 210, 220);

void paintBackground(QWidget* w, const QColor& c)
{
    w->setAutoFillBackground(true);
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, c);
    w->setPalette(pal);
}

// A weekday box: the user switches between cleared and ticked; only the form sets the greyed
// state, which a click turns into cleared (greyed counts as selected).
class WeekdayBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override
    {
        setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
    }
};

// An option of the repetition: a click selects it, and only another option clears it.
class OptionButton final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void nextCheckState() override { setChecked(true); }
};

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    paintBackground(l, kLabelColour);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

} // namespace

AddRecordingDialog::AddRecordingDialog(const EntryServices& services, QWidget* mainWindow)
    : QDialog(mainWindow), m_entry(services, *this)
{
    setObjectName(QStringLiteral("Dialog_AddRec"));
    setWindowTitle(QStringLiteral("Add Recording"));
    paintBackground(this, kFormColour);

    // Created in the keyboard order: OK first, so that it holds the focus when the form opens.
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("OKButton"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("CancelButton"));

    m_num = new QComboBox(this);
    m_num->setObjectName(QStringLiteral("Combo_Num"));
    m_name = new QComboBox(this);
    m_name->setObjectName(QStringLiteral("Combo_Name"));

    auto field = [this](EntryField f, const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        m_fields.insert(f, e);
        return e;
    };
    auto spin = [this](EntrySpin s, const char* name, int max, const QString& accessible) {
        auto* b = new QScrollBar(Qt::Vertical, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setRange(0, max);
        b->setSingleStep(1);
        b->setPageStep(1);
        // The upper arrow counts up, as on a spin box.
        b->setInvertedAppearance(true);
        b->setInvertedControls(false);
        b->setAccessibleName(accessible);
        m_spins.insert(s, b);
        connect(b, &QScrollBar::valueChanged, this,
                [this, s](int value) { m_entry.spinChanged(s, value); });
        return b;
    };

    QLineEdit* startDate = field(EntryField::StartDate, "Text_StartDate");
    QLineEdit* startTime = field(EntryField::StartTime, "Text_StartTime");
    QLineEdit* stopDate = field(EntryField::StopDate, "Text_StopDate");
    QLineEdit* stopTime = field(EntryField::StopTime, "Text_StopTime");

    m_once = new OptionButton(QStringLiteral("Einmal / once"), this);
    m_once->setObjectName(QStringLiteral("Option_Once"));
    m_once->setChecked(true);
    m_daily = new OptionButton(QStringLiteral("Täglich / Daily"), this);
    m_daily->setObjectName(QStringLiteral("Option_Daily"));
    m_weekly = new OptionButton(QStringLiteral("Wöchentlich / Weekly"), this);
    m_weekly->setObjectName(QStringLiteral("Option_Weekly"));
    // The options exclude each other by hand: left to Qt, the three would share a single
    // place in the keyboard order.
    for (QRadioButton* r : {m_once, m_daily, m_weekly}) {
        paintBackground(r, kLabelColour);
        r->setAutoExclusive(false);
    }

    QLineEdit* untilDate = field(EntryField::UntilDate, "Text_UntilDate");

    static const char* const kDays[] = {"Mo / Mo", "Di / Tu", "Mi / We", "Do / Th",
                                        "Fr / Fr", "Sa / Sa", "So / Su"};
    for (int i = 0; i < 7; ++i) {
        auto* c = new WeekdayBox(QString::fromUtf8(kDays[i]), this);
        c->setObjectName(QStringLiteral("Check%1").arg(i + 1));
        c->setTristate(true);
        c->setCheckState(Qt::PartiallyChecked);
        c->setEnabled(false);
        paintBackground(c, kLabelColour);
        m_weekdays[size_t(i)] = c;
    }

    QLineEdit* pre = field(EntryField::PreRecord, "Text_PreRecord");
    QLineEdit* post = field(EntryField::PostRecord, "Text_PostRecord");
    QLineEdit* sdesc = field(EntryField::Sdesc, "Text_Sdesc");
    pre->setText(QStringLiteral("2"));
    post->setText(QStringLiteral("2"));

    QScrollBar* startDateSpin =
        spin(EntrySpin::StartDate, "Scroll_Startdate", 400, QStringLiteral("StartDate"));
    QScrollBar* startTimeSpin =
        spin(EntrySpin::StartTime, "Scroll_Starttime", 1439, QStringLiteral("Starttime"));
    QScrollBar* stopDateSpin =
        spin(EntrySpin::StopDate, "Scroll_Stopdate", 400, QStringLiteral("StopDate"));
    QScrollBar* stopTimeSpin =
        spin(EntrySpin::StopTime, "Scroll_Stoptime", 1439, QStringLiteral("Stoptime"));
    QScrollBar* untilSpin =
        spin(EntrySpin::UntilDate, "Scroll_Untildate", 400, QStringLiteral("Bis zum  / until"));
    QScrollBar* preSpin =
        spin(EntrySpin::PreRecord, "Scroll_PreRecord", 59, QStringLiteral("Prerecord (min)"));
    QScrollBar* postSpin =
        spin(EntrySpin::PostRecord, "Scroll_PostRecord", 59, QStringLiteral("Postrecord (min)"));
    {
        const QSignalBlocker a(preSpin), b(postSpin);
        preSpin->setValue(2);
        postSpin->setValue(2);
    }
    const int spinHeight = startDate->sizeHint().height();
    for (QScrollBar* b : std::as_const(m_spins))
        b->setFixedHeight(spinHeight);

    // Spin controls are worked with the mouse; the keyboard order leaves them out.
    for (QScrollBar* b : std::as_const(m_spins))
        b->setFocusPolicy(Qt::NoFocus);
    QWidget* order[] = {m_ok,          m_cancel,      m_num,         m_name,        startDate,
                        startTime,     stopDate,      stopTime,      m_once,        m_daily,
                        m_weekly,      untilDate,     m_weekdays[0], m_weekdays[1], m_weekdays[2],
                        m_weekdays[3], m_weekdays[4], m_weekdays[5], m_weekdays[6], pre,
                        post,          sdesc};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // The designed arrangement: channel and times on the left, repetition in the middle,
    // weekdays on the right, minutes and description below.
    auto withSpin = [this](QLineEdit* e, QScrollBar* s) {
        auto* h = new QHBoxLayout;
        h->setSpacing(0);
        h->addWidget(e);
        h->addWidget(s);
        return h;
    };
    auto* grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Num"), m_num, this), 0, 0);
    grid->addWidget(caption(QStringLiteral("Sendername"), m_name, this), 0, 1);
    grid->addWidget(m_num, 1, 0);
    grid->addWidget(m_name, 1, 1);
    grid->addWidget(caption(QStringLiteral("StartDate"), startDate, this), 2, 0);
    grid->addWidget(caption(QStringLiteral("Starttime"), startTime, this), 2, 1);
    grid->addLayout(withSpin(startDate, startDateSpin), 3, 0);
    grid->addLayout(withSpin(startTime, startTimeSpin), 3, 1);
    grid->addWidget(caption(QStringLiteral("StopDate"), stopDate, this), 4, 0);
    grid->addWidget(caption(QStringLiteral("Stoptime"), stopTime, this), 4, 1);
    grid->addLayout(withSpin(stopDate, stopDateSpin), 5, 0);
    grid->addLayout(withSpin(stopTime, stopTimeSpin), 5, 1);

    auto* middle = new QVBoxLayout;
    middle->addWidget(m_once);
    middle->addWidget(m_daily);
    middle->addWidget(m_weekly);
    middle->addStretch(1);
    middle->addWidget(caption(QStringLiteral("Bis zum  / until"), untilDate, this));
    middle->addLayout(withSpin(untilDate, untilSpin));

    auto* days = new QVBoxLayout;
    days->setSpacing(2);
    for (QCheckBox* c : m_weekdays)
        days->addWidget(c);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* minutes = new QHBoxLayout;
    minutes->addWidget(caption(QStringLiteral("Prerecord (min)"), pre, this));
    minutes->addLayout(withSpin(pre, preSpin));
    minutes->addSpacing(12);
    minutes->addWidget(caption(QStringLiteral("Postrecord (min)"), post, this));
    minutes->addLayout(withSpin(post, postSpin));
    minutes->addStretch(1);
    pre->setMaximumWidth(pre->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    post->setMaximumWidth(pre->maximumWidth());

    auto* upper = new QHBoxLayout;
    upper->addLayout(grid, 3);
    upper->addLayout(middle, 2);
    upper->addLayout(days, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(upper);
    layout->addLayout(minutes);
    layout->addWidget(
        caption(QStringLiteral("Sendungsbeschreibung / Shortdescription"), sdesc, this));
    layout->addWidget(sdesc);

    connect(m_num, &QComboBox::currentIndexChanged, this, [this] { m_entry.numberPicked(); });
    connect(m_name, &QComboBox::currentIndexChanged, this, [this] { m_entry.namePicked(); });
    const std::array<std::pair<QRadioButton*, Repetition>, 3> options{
        {{m_once, Repetition::Once}, {m_daily, Repetition::Daily}, {m_weekly, Repetition::Weekly}}};
    for (const auto& [button, repetition] : options) {
        connect(button, &QRadioButton::toggled, this, [this, options, button, repetition](bool on) {
            if (!on)
                return;
            for (const auto& other : options)
                if (other.first != button)
                    other.first->setChecked(false);
            m_entry.repetitionChosen(repetition);
        });
    }
    // Any change the user makes to the description ends the proposal, also a paste.
    connect(sdesc, &QLineEdit::textEdited, this, [this] { m_entry.sdescEdited(); });
    connect(m_ok, &QPushButton::clicked, this, &AddRecordingDialog::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (mainWindow) {
        const QPoint corner = mainWindow->frameGeometry().topLeft();
        move(corner.x() + qRound(150 * logicalDpiX() / 1440.0),
             corner.y() + qRound(100 * logicalDpiY() / 1440.0));
    }
    m_ok->setFocus();
    qApp->installEventFilter(this);
}

AddRecordingDialog::~AddRecordingDialog()
{
    qApp->removeEventFilter(this);
}

bool AddRecordingDialog::run(const EntryServices& services, QWidget* mainWindow)
{
    AddRecordingDialog form(services, mainWindow);
    if (!form.load())
        return false;
    form.exec();
    return form.entry().recordsAdded();
}

QString AddRecordingDialog::text(EntryField field) const
{
    return m_fields.value(field)->text();
}

void AddRecordingDialog::setText(EntryField field, const QString& text)
{
    m_fields.value(field)->setText(text);
}

void AddRecordingDialog::setSpinValue(EntrySpin spin, int value)
{
    m_spins.value(spin)->setValue(value);
}

void AddRecordingDialog::fillChannelLists(const QStringList& numbers, const QStringList& names)
{
    m_num->clear();
    m_num->addItems(numbers);
    m_name->clear();
    m_name->addItems(names);
}

void AddRecordingDialog::selectNumber(const QString& number)
{
    m_num->setCurrentIndex(m_num->findText(number, Qt::MatchExactly));
}

void AddRecordingDialog::selectName(const QString& name)
{
    m_name->setCurrentIndex(m_name->findText(name, Qt::MatchExactly));
}

QString AddRecordingDialog::numberText() const
{
    return m_num->currentText();
}

QString AddRecordingDialog::nameText() const
{
    return m_name->currentText();
}

Repetition AddRecordingDialog::repetition() const
{
    return m_daily->isChecked()    ? Repetition::Daily
           : m_weekly->isChecked() ? Repetition::Weekly
                                   : Repetition::Once;
}

int AddRecordingDialog::weekday(int index) const
{
    switch (m_weekdays.at(size_t(index))->checkState()) {
    case Qt::Unchecked:
        return kWeekdayCleared;
    case Qt::Checked:
        return kWeekdayTicked;
    case Qt::PartiallyChecked:
        break;
    }
    return kWeekdayGreyed;
}

void AddRecordingDialog::setWeekdaysEnabled(bool on)
{
    for (QCheckBox* c : m_weekdays)
        c->setEnabled(on);
}

void AddRecordingDialog::okClicked()
{
    const RecordingEntry::OkResult r = m_entry.ok();
    if (r.close) {
        accept();
        return;
    }
    if (r.failedField) {
        QLineEdit* e = m_fields.value(*r.failedField);
        e->setFocus(Qt::OtherFocusReason);
        e->selectAll();
    }
}

std::optional<EntryField> AddRecordingDialog::focusedField() const
{
    const QWidget* f = focusWidget();
    for (auto it = m_fields.cbegin(); it != m_fields.cend(); ++it)
        if (it.value() == f)
            return it.key();
    return std::nullopt;
}

bool AddRecordingDialog::mayLeaveField()
{
    const auto field = focusedField();
    if (!field || m_checking)
        return true;
    m_checking = true;
    const bool ok = m_entry.validate(*field);
    m_checking = false;
    if (!ok)
        m_fields.value(*field)->setFocus(Qt::OtherFocusReason);
    return ok;
}

bool AddRecordingDialog::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
        watched == windowHandle()) {
        // The window gives the focus to the clicked control before the control sees the
        // press, so the press is looked at here, on its way into the form. A control other
        // than the focused field takes the focus (or acts without it, as the spin controls
        // do): the field must let it go first. Labels and the form itself do not count.
        const auto field = focusedField();
        QWidget* target = childAt(static_cast<QMouseEvent*>(event)->position().toPoint());
        for (QWidget* c = target; c && c != this; c = c->parentWidget()) {
            if (qobject_cast<QAbstractButton*>(c) || qobject_cast<QComboBox*>(c) ||
                qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractSlider*>(c)) {
                // The spin beside the field leaves the focus where it is and may mend it.
                const bool own =
                    field &&
                    (c == m_fields.value(*field) ||
                     (*field != EntryField::Sdesc && c == m_spins.value(EntrySpin(int(*field)))));
                if (field && !own && c->isEnabled() && !mayLeaveField())
                    return true;
                break;
            }
        }
        return QDialog::eventFilter(watched, event);
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QDialog::eventFilter(watched, event);
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this)
        return QDialog::eventFilter(watched, event);

    const int key = static_cast<QKeyEvent*>(event)->key();
    if (type == QEvent::KeyRelease) {
        // A key released in the description ends the proposal; the Tab that brought the
        // focus there and lone modifiers do not.
        if (w == m_fields.value(EntryField::Sdesc) && key != Qt::Key_Tab &&
            key != Qt::Key_Backtab && key != Qt::Key_Shift && key != Qt::Key_Control &&
            key != Qt::Key_Alt && key != Qt::Key_Meta && key != Qt::Key_AltGr)
            m_entry.sdescEdited();
        return QDialog::eventFilter(watched, event);
    }
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !mayLeaveField())
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace dorvel
