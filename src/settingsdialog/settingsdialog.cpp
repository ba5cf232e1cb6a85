#include "settingsdialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace dorvel {

namespace {

template <typename W> W* named(W* w, const char* name, const QString& accessibleName = {})
{
    w->setObjectName(QString::fromLatin1(name));
    if (!accessibleName.isEmpty())
        w->setAccessibleName(accessibleName);
    return w;
}

QCheckBox* check(const char* name, const QString& caption, QWidget* parent)
{
    return named(new QCheckBox(caption, parent), name);
}

QRadioButton* option(const char* name, const QString& caption, QWidget* parent)
{
    return named(new QRadioButton(caption, parent), name);
}

QLineEdit* field(const char* name, const QString& accessibleName, QWidget* parent)
{
    return named(new QLineEdit(parent), name, accessibleName);
}

} // namespace

Dialog::Dialog(SettingsEditor& editor, QWidget* parent) : QDialog(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("Dialog"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);

    // Language.
    m_languageFrame =
        named(new QGroupBox(QStringLiteral("Sprache   /   Language"), this), "Frame1");
    m_german = option("Option1", QStringLiteral("Deutsch"), m_languageFrame);
    m_english = option("Option2", QStringLiteral("English"), m_languageFrame);
    auto* languageLayout = new QHBoxLayout(m_languageFrame);
    languageLayout->addWidget(m_german);
    languageLayout->addWidget(m_english);

    // Database.
    m_databaseFrame =
        named(new QGroupBox(
                  QStringLiteral("Pfad zur Orbivu Datenbank   /   Path to Orbivu database"), this),
              "Frame2");
    // Only the search may change the path: it is the one place where a file is tried first.
    m_database = field("Text1", m_databaseFrame->title(), m_databaseFrame);
    m_database->setReadOnly(true);
    m_search = named(new QPushButton(m_databaseFrame), "Command_Search",
                     QStringLiteral("Datenbank suchen / Search database"));
    m_search->setIcon(QIcon::fromTheme(QStringLiteral("folder-open"),
                                       style()->standardIcon(QStyle::SP_DirOpenIcon)));
    m_search->setToolTip(m_search->accessibleName());
    auto* databaseLayout = new QHBoxLayout(m_databaseFrame);
    databaseLayout->addWidget(m_database, 1);
    databaseLayout->addWidget(m_search);

    // Start options.
    auto* startFrame = named(
        new QGroupBox(QStringLiteral("Start Einstellungen  / Start options"), this), "Frame3");
    m_ignoreOverlap = check("Check_IgnoreOverlap",
                            QStringLiteral("Überlappende Aufnahmen trotzdem starten / Ignore "
                                           "overlapping recordings"),
                            startFrame);
    m_startPending = check("Check_StartPendingRecord",
                           QStringLiteral("Restzeit abgelaufener Aufnahmen starten / Start rest of "
                                          "timed out recordings"),
                           startFrame);
    m_autoClose = check("Check_AutoClose",
                        QStringLiteral("Orbivu vor einer Aufnahme schließen / Autoclose Orbivu "
                                       "before record"),
                        startFrame);
    m_writeLog = check("Check_WriteLogFile", QStringLiteral("Log Datei speichern / Write log file"),
                       startFrame);
    m_closeQuestion = check("Check_CloseQuestion",
                            QStringLiteral("Vor Beenden fragen (falls Aufnahmen geplannt) / Ask "
                                           "for close (if ToDo>1)"),
                            startFrame);
    m_autostart = option("Option3", QStringLiteral("Autostart "), startFrame);
    m_manual = option("Option5", QStringLiteral("Manual start"), startFrame);
    auto* startLayout = new QGridLayout(startFrame);
    int row = 0;
    for (QCheckBox* c : {m_ignoreOverlap, m_startPending, m_autoClose, m_writeLog, m_closeQuestion})
        startLayout->addWidget(c, row++, 0, 1, 2);
    startLayout->addWidget(m_autostart, row, 0);
    startLayout->addWidget(m_manual, row, 1);

    // Shutdown options.
    auto* shutdownFrame =
        named(new QGroupBox(QStringLiteral("PC Ausschalt-Einstellungen / Shutdown options"), this),
              "Frame4");
    m_never =
        option("Option4", QStringLiteral("PC nie ausschalten / Never shutdown PC "), shutdownFrame);
    m_lastRec = option("Option6",
                       QStringLiteral("PC nach der letzen Aufnahme ausschalten / Shutdown PC after "
                                      "last recording"),
                       shutdownFrame);
    m_rule =
        option("Option7", QStringLiteral("PC entsprechend ITime ausschalten / Shutdown by ITime"),
               shutdownFrame);
    auto* iTimeLabel = named(new QLabel(QStringLiteral("ITime: Mindestzeit zwischen Aufnahmen / "
                                                       "min. time between recordings"),
                                        shutdownFrame),
                             "Label4");
    m_iTime = field("Text4", iTimeLabel->text(), shutdownFrame);
    iTimeLabel->setBuddy(m_iTime);
    m_waitProg = check("Check_WaitProg", QStringLiteral("Auf Programm warten / Wait for program"),
                       shutdownFrame);
    m_waitProgName = field("Text_WaitForProg", m_waitProg->text(), shutdownFrame);
    m_standbyTest = named(new QPushButton(QStringLiteral("StandBy aktivieren (falls möglich) / "
                                                         "Enable Standby Option if possible"),
                                          shutdownFrame),
                          "CommandCheck_Suspend");
    const QString checkPower = QStringLiteral("Bereitschaft prüfen / Check power set-up");
    m_checkPower =
        named(new QPushButton(checkPower, shutdownFrame), "Command_CheckPower", checkPower);
    auto* shutdownLayout = new QGridLayout(shutdownFrame);
    shutdownLayout->addWidget(m_never, 0, 0, 1, 2);
    shutdownLayout->addWidget(m_lastRec, 1, 0, 1, 2);
    shutdownLayout->addWidget(m_rule, 2, 0, 1, 2);
    shutdownLayout->addWidget(m_iTime, 3, 0);
    shutdownLayout->addWidget(iTimeLabel, 3, 1);
    shutdownLayout->addWidget(m_waitProg, 4, 0);
    shutdownLayout->addWidget(m_waitProgName, 4, 1);
    shutdownLayout->addWidget(m_standbyTest, 5, 0, 1, 2);
    shutdownLayout->addWidget(m_checkPower, 6, 0, Qt::AlignLeft);

    // Viewer options.
    auto* viewerFrame =
        named(new QGroupBox(QStringLiteral("Orbivu Optionen / Orbivu options"), this), "Frame5");
    m_delayText =
        field("Text2", QStringLiteral("msek Aufnahmeverzögerung / msec recorddelay"), viewerFrame);
    m_delay = check("Check_Delay", QStringLiteral("msek Aufnahmeverzögerung / msec recorddelay"),
                    viewerFrame);
    m_streamonly = check("Check_Streamonly",
                         QStringLiteral("Verwende \"/streamonly\" bei der Aufnahme / Use "
                                        "\"/streamonly\" for record"),
                         viewerFrame);
    m_rename = check("CheckReName",
                     QStringLiteral("Verwende \"Shortdescription\" als Dateiname / Use Shortdesc "
                                    "as filename"),
                     viewerFrame);
    auto* viewerLayout = new QGridLayout(viewerFrame);
    viewerLayout->addWidget(m_delayText, 0, 0);
    viewerLayout->addWidget(m_delay, 0, 1);
    viewerLayout->addWidget(m_streamonly, 1, 0, 1, 2);
    viewerLayout->addWidget(m_rename, 2, 0, 1, 2);

    m_ok = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    m_cancel = named(new QPushButton(QStringLiteral("Abbrechen / Cancel"), this), "CancelButton");
    m_ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* left = new QVBoxLayout;
    left->addWidget(m_languageFrame);
    left->addWidget(m_databaseFrame);
    left->addWidget(startFrame);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(shutdownFrame);
    right->addWidget(viewerFrame);
    right->addStretch(1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    // Number fields as wide as their numbers.
    for (QLineEdit* number : {m_iTime, m_delayText})
        number->setMaximumWidth(number->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) +
                                16);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addLayout(buttons);

    fill(m_editor.load());
    lockWhileViewerRuns();

    connect(m_delay, &QCheckBox::toggled, m_delayText, &QWidget::setEnabled);
    connect(m_rule, &QRadioButton::toggled, m_iTime, &QWidget::setEnabled);
    connect(m_autostart, &QRadioButton::clicked, this, [this] { m_editor.autostartChosen(true); });
    connect(m_manual, &QRadioButton::clicked, this, [this] { m_editor.autostartChosen(false); });
    connect(m_standbyTest, &QPushButton::clicked, this, [this] { m_editor.standbyTest(); });
    // Not modal: the report may stay open beside the dialog while the scheduler goes on.
    connect(m_checkPower, &QPushButton::clicked, this, [this] {
        auto* box =
            new QMessageBox(QMessageBox::Information, QStringLiteral("Dorvel: power set-up"),
                            m_editor.powerReadinessReport(), QMessageBox::Close, this);
        box->setObjectName(QStringLiteral("PowerReport"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        box->show();
    });
    connect(m_search, &QPushButton::clicked, this, [this] {
        if (const std::optional<QString> path = m_editor.searchDatabase(m_database->text()))
            m_database->setText(*path);
    });
    connect(m_ok, &QPushButton::clicked, this, &Dialog::onOk);
    connect(m_cancel, &QPushButton::clicked, this, &Dialog::reject);
    for (QLineEdit* f : {m_iTime, m_delayText})
        f->installEventFilter(this);

    // The viewer may start or end while the dialog is open (the scheduler keeps running).
    m_viewerWatch = new QTimer(this);
    m_viewerWatch->setInterval(500);
    connect(m_viewerWatch, &QTimer::timeout, this, &Dialog::lockWhileViewerRuns);
    m_viewerWatch->start();
}

void Dialog::fill(const DialogValues& v)
{
    m_database->setText(v.database);
    (v.german ? m_german : m_english)->setChecked(true);
    m_rename->setChecked(v.useShortdesc);
    m_ignoreOverlap->setChecked(v.ignoreOverlap);
    m_startPending->setChecked(v.startPendingRecord);
    m_delayText->setText(v.recDelayText);
    m_delay->setChecked(v.recDelay);
    m_delayText->setEnabled(v.recDelay);
    m_streamonly->setChecked(v.streamonly);
    m_writeLog->setChecked(v.saveLog);
    (v.autoRun ? m_autostart : m_manual)->setChecked(true);
    m_closeQuestion->setChecked(v.askForClose);
    m_waitProg->setChecked(v.waitForClose);
    m_autoClose->setChecked(v.autoClose);
    m_never->setChecked(v.shutdown == DialogValues::Shutdown::Never);
    m_lastRec->setChecked(v.shutdown == DialogValues::Shutdown::LastRec);
    m_rule->setChecked(v.shutdown == DialogValues::Shutdown::Rule);
    m_iTime->setText(v.ruleMinutesText);
    m_iTime->setEnabled(v.shutdown == DialogValues::Shutdown::Rule);
    m_waitProgName->setText(v.waitForProg);
}

DialogValues Dialog::values() const
{
    DialogValues v;
    v.database = m_database->text();
    v.german = m_german->isChecked();
    v.useShortdesc = m_rename->isChecked();
    v.ignoreOverlap = m_ignoreOverlap->isChecked();
    v.startPendingRecord = m_startPending->isChecked();
    v.recDelay = m_delay->isChecked();
    v.saveLog = m_writeLog->isChecked();
    v.recDelayText = m_delayText->text();
    v.streamonly = m_streamonly->isChecked();
    v.autoRun = m_autostart->isChecked();
    v.askForClose = m_closeQuestion->isChecked();
    v.autoClose = m_autoClose->isChecked();
    v.waitForClose = m_waitProg->isChecked();
    v.waitForProg = m_waitProgName->text();
    if (m_never->isChecked())
        v.shutdown = DialogValues::Shutdown::Never;
    else if (m_lastRec->isChecked())
        v.shutdown = DialogValues::Shutdown::LastRec;
    else if (m_rule->isChecked())
        v.shutdown = DialogValues::Shutdown::Rule;
    v.ruleMinutesText = m_iTime->text();
    return v;
}

void Dialog::placeAt(const SettingsEditor::Place& twips)
{
    move(qRound(twips.left * logicalDpiX() / 1440.0), qRound(twips.top * logicalDpiY() / 1440.0));
}

void Dialog::run(SettingsEditor& editor, QWidget* parent)
{
    Dialog dialog(editor, parent);
    dialog.placeAt(editor.place());
    dialog.exec();
}

void Dialog::lockWhileViewerRuns()
{
    const bool free = !m_editor.viewerRunning();
    for (QWidget* w : std::initializer_list<QWidget*>{m_languageFrame, m_german, m_english,
                                                      m_databaseFrame, m_database, m_standbyTest})
        w->setEnabled(free);
}

bool Dialog::fieldValid(QLineEdit* f, bool showMessage)
{
    if (f == m_iTime)
        return showMessage ? m_editor.checkITime(f->text())
                           : bool(SettingsEditor::iTimeMinutes(f->text()));
    return showMessage ? m_editor.checkDelay(f->text())
                       : bool(SettingsEditor::delayMilliseconds(f->text()));
}

bool Dialog::eventFilter(QObject* watched, QEvent* event)
{
    // Leaving a field for another window (a message box, the file dialog) is no leaving.
    if (event->type() == QEvent::FocusOut && isActiveWindow()) {
        auto* f = qobject_cast<QLineEdit*>(watched);
        if (f && f->isEnabled() && !fieldValid(f, false))
            checkLater(f);
    }
    return QDialog::eventFilter(watched, event);
}

void Dialog::checkLater(QLineEdit* f)
{
    m_pendingCheck = f;
    QTimer::singleShot(0, this, [this, f] {
        if (m_pendingCheck == f)
            checkNow(f);
    });
}

void Dialog::checkNow(QLineEdit* f)
{
    m_pendingCheck = nullptr;
    if (!isVisible() || !f->isEnabled() || fieldValid(f, true))
        return;
    f->setFocus();
    f->selectAll();
}

void Dialog::onOk()
{
    // OK checks every field itself; a check still queued from leaving a field would repeat
    // its message.
    m_pendingCheck = nullptr;
    if (!m_editor.accept(values())) {
        // Focus the field that was refused.
        if (m_rule->isChecked() && !SettingsEditor::iTimeMinutes(m_iTime->text()))
            m_iTime->setFocus();
        else if (!SettingsEditor::delayMilliseconds(m_delayText->text()))
            m_delayText->setFocus();
        else
            m_waitProgName->setFocus();
        return;
    }
    accept();
}

void Dialog::reject()
{
    // Cancel, Escape and the window's close button alike.
    m_pendingCheck = nullptr;
    m_editor.cancel();
    QDialog::reject();
}

} // namespace dorvel
