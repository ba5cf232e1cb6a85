#pragma once

#include "settingseditor.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace dorvel {

// The settings dialog ("Settings"). It shows what SettingsEditor loads and forwards every
// click; the captions carry both languages and never change.
class Dialog final : public QDialog {
    Q_OBJECT
public:
    explicit Dialog(SettingsEditor& editor, QWidget* parent = nullptr);

    // The values the controls hold now.
    DialogValues values() const;

    // Placed relative to the main window in twips; converted with this screen's resolution.
    void placeAt(const SettingsEditor::Place& twips);

    // The settings button's dialog: placed, then shown modally.
    static void run(SettingsEditor& editor, QWidget* parent);

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill(const DialogValues& v);
    void lockWhileViewerRuns();
    void onOk();
    // A field left with a value that cannot be saved gets its message and the focus back.
    // The check runs after the focus change has finished, so that a click elsewhere is not
    // broken in half by the message box.
    void checkLater(QLineEdit* field);
    void checkNow(QLineEdit* field);
    bool fieldValid(QLineEdit* field, bool showMessage);

    SettingsEditor& m_editor;
    QGroupBox* m_languageFrame; // Frame1
    QRadioButton* m_german;     // Option1
    QRadioButton* m_english;    // Option2
    QGroupBox* m_databaseFrame; // Frame2
    QLineEdit* m_database;      // Text1
    QPushButton* m_search;      // Command_Search
    QCheckBox* m_ignoreOverlap;
    QCheckBox* m_startPending;
    QCheckBox* m_autoClose;
    QCheckBox* m_writeLog;
    QCheckBox* m_closeQuestion;
    QRadioButton* m_autostart; // Option3
    QRadioButton* m_manual;    // Option5
    QRadioButton* m_never;     // Option4
    QRadioButton* m_lastRec;   // Option6
    QRadioButton* m_rule;      // Option7
    QLineEdit* m_iTime;        // Text4
    QCheckBox* m_waitProg;
    QLineEdit* m_waitProgName;  // Text_WaitForProg
    QPushButton* m_standbyTest; // CommandCheck_Suspend
    QPushButton* m_checkPower;  // Command_CheckPower
    QCheckBox* m_delay;         // Check_Delay
    QLineEdit* m_delayText;     // Text2
    QCheckBox* m_streamonly;
    QCheckBox* m_rename; // CheckReName
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QTimer* m_viewerWatch;
    QLineEdit* m_pendingCheck = nullptr;
};

} // namespace dorvel
