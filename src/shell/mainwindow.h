#pragma once

#include "mainview.h"

#include <QIcon>

#include <QWidget>
#include <array>
#include <functional>

class QAction;
class QGroupBox;
class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QSplitter;
class QTranslator;

namespace dorvel {

class ActivityList;
class Prompter;
class TodoGrid;
class TodoList;

// The main window: the to-do list, the activity list, the clock, the next event, the options
// and the buttons, plus the tray icon with its menu. It renders what the logic tells it and
// forwards clicks as signals; it decides nothing itself.
class MainWindow : public QWidget, public MainView {
    Q_OBJECT
public:
    MainWindow(TodoList& todo, ActivityList& activity, Prompter& prompter);
    ~MainWindow() override;

    // MainView
    QString chooseLanguage() override;
    void applyLanguage(const MessageTable& msg) override;
    void setCaption(const QString& caption) override;
    QString caption() const override;
    void setClockText(const QString& text) override;
    void setClockRed(bool red) override;
    void setNextEventText(const QString& text) override;
    void setStandbyLabel(const QString& text) override;
    void setShutdownLabel(const QString& text) override;
    void setStateIcon(StateIcon icon) override;
    void setTrayTip(const QString& tip) override;
    void addTrayIcon() override;
    void removeTrayIcon() override;
    void setWaitCursor(bool on) override;
    void setStandbyButtonEnabled(bool on) override;
    void setWakeToolButtonEnabled(bool on) override;
    void setGoTimerVisible(bool on) override;
    bool goTimerVisible() const override;
    void setGoTimerEnabled(bool on) override;
    void setGoTimerChecked(bool on) override;
    void setNoShutDownEnabled(bool on) override;
    void placeWindow(int leftTwips, int topTwips) override;
    void resizeWindow(int widthTwips, int heightTwips) override;
    void setSplitRatio(double ratio) override;
    double splitRatio() const { return m_splitRatio; }
    Geometry geometryTwips() const override;
    bool isMinimized() const override;
    void minimize() override;
    void showAndRepaint() override;

    // Called before the window really closes; returns whether it may close.
    std::function<bool()> onQueryClose = [] { return true; };
    std::function<void()> onUnload = [] {};
    // Whether the desktop shows tray icons; only then does minimising hide the window.
    std::function<bool()> trayAvailable;

    // Shown, raised and focused, wherever it was (a second start asks for this).
    void bringToFront();

    TodoGrid* todoGrid() const { return m_grid; }

    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;
    int pixelsToTwipsX(int px) const;
    int pixelsToTwipsY(int px) const;

Q_SIGNALS:
    void startViewerClicked();            // Command1
    void getRecordingsClicked();          // Command2, mPopUpdate
    void settingsClicked();               // Command3
    void deleteSelectionClicked();        // Command4
    void standByClicked();                // Command5
    void wakeToolClicked();               // Command6
    void addRecordingClicked();           // Command7
    void goTimerTriggered();              // mPopGoTimer
    void noShutDownTriggered();           // mPopNoShutDown
    void splitRatioChanged(double ratio); // the user moved the splitter

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restoreFromTray();
    void toggleFromTray();
    void reloadFromTray();
    void hideToTray();
    void applySplit();
    void fitShortDesc();
    void assignMnemonics();
    void followColumnWidth(int column, int twips);

    TodoList& m_todo;
    ActivityList& m_activity;
    Prompter& m_prompter;
    TodoGrid* m_grid;       // MSFlexGrid1
    QListView* m_list;      // List1
    QLabel* m_clock;        // Label1
    QLabel* m_nextCaption;  // Label2
    QLabel* m_nextEvent;    // Label_Event
    QGroupBox* m_listFrame; // Frame1
    QGroupBox* m_options;   // Frame2
    QLabel* m_shutdown;     // Label_Shutdown
    QLabel* m_standby;      // Label_StandBy
    QPushButton* m_startViewer;
    QPushButton* m_getRecordings;
    QPushButton* m_settings;
    QPushButton* m_delete;
    QPushButton* m_standbyButton;
    QPushButton* m_wakeTool;
    QPushButton* m_addRecording;
    QMenu* m_trayMenu; // mPopupSys
    QAction* m_goTimer;
    QAction* m_noShutDown;
    QSystemTrayIcon* m_tray;
    QSplitter* m_splitter = nullptr; // Label3
    QTranslator* m_qtTexts = nullptr;
    double m_splitRatio = 0.5;
    std::array<QIcon, 3> m_icons; // Picture1..3: recording, viewer running, idle
    int m_iconIndex = -1;
    bool m_syncingWidths = false;
    bool m_closing = false;
};

} // namespace dorvel
