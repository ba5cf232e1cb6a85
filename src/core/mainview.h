#pragma once

#include <QString>

namespace dorvel {

struct MessageTable;

// What the logic shows on the main window and the tray. The window implements it; tests use
// a recording fake. Sizes and positions are in twips (1/1440 inch).
class MainView {
public:
    enum class StateIcon { Recording, ViewerRunning, Idle };

    virtual ~MainView() = default;

    // The modal language form; returns "deu", "eng" or empty when closed without a choice.
    virtual QString chooseLanguage() = 0;
    // The six captions that come from the message table.
    virtual void applyLanguage(const MessageTable& msg) = 0;

    virtual void setCaption(const QString& caption) = 0;
    virtual QString caption() const = 0;
    virtual void setClockText(const QString& text) = 0;
    virtual void setClockRed(bool red) = 0;
    virtual void setNextEventText(const QString& text) = 0;
    virtual void setStandbyLabel(const QString& text) = 0;
    virtual void setShutdownLabel(const QString& text) = 0;
    virtual void setStateIcon(StateIcon icon) = 0;
    virtual void setTrayTip(const QString& tip) = 0;
    virtual void addTrayIcon() = 0;
    virtual void removeTrayIcon() = 0;
    virtual void setWaitCursor(bool on) = 0;

    virtual void setStandbyButtonEnabled(bool on) = 0;
    virtual void setWakeToolButtonEnabled(bool on) = 0;
    virtual void setGoTimerVisible(bool on) = 0;
    virtual bool goTimerVisible() const = 0;
    virtual void setGoTimerEnabled(bool on) = 0;
    virtual void setGoTimerChecked(bool on) = 0;
    virtual void setNoShutDownEnabled(bool on) = 0;

    virtual void placeWindow(int leftTwips, int topTwips) = 0;
    virtual void resizeWindow(int widthTwips, int heightTwips) = 0;
    // The to-do list's share of the height of both lists (0.05 to 0.95).
    virtual void setSplitRatio(double ratio) { Q_UNUSED(ratio); }
    struct Geometry {
        int left = 0, top = 0, width = 0, height = 0;
    };
    virtual Geometry geometryTwips() const = 0;
    virtual bool isMinimized() const = 0;
    virtual void minimize() = 0;
    virtual void showAndRepaint() = 0;
};

} // namespace dorvel
