#pragma once

// Hand-driven stand-ins for the platform seams.

#include "clock.h"
#include "mainview.h"
#include "messages.h"
#include "prompter.h"
#include "settingsstore.h"
#include "ticktimer.h"

#include <QList>
#include <QMap>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <optional>

namespace dorvel::test {

class FakeClock final : public Clock {
public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 5), QTime(20, 0))) : m_now(start)
    {}
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& t) { m_now = t; }
    void advanceSecs(qint64 s) { m_now = m_now.addSecs(s); }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

// Keys are stored under lower-cased app/section/key, as the real store matches them.
class MemorySettingsStore final : public SettingsStore {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& defaultValue) const override
    {
        return m_values.value(id(app, section, key), defaultValue);
    }
    bool save(const QString& app, const QString& section, const QString& key,
              const QString& value) override
    {
        if (readOnly)
            return false;
        m_values.insert(id(app, section, key), value);
        return true;
    }
    void remove(const QString& app, const QString& section, const QString& key) override
    {
        m_values.remove(id(app, section, key));
    }
    QString unreadableFile(const QString& app) const override
    {
        return app == QStringLiteral("Dorvel") ? unreadablePath : QString();
    }
    bool contains(const QString& app, const QString& section, const QString& key) const
    {
        return m_values.contains(id(app, section, key));
    }
    // Shorthands for the program's own section.
    QString own(const QString& key) const
    {
        return get(QStringLiteral("Dorvel"), QStringLiteral("Startup"), key,
                   QStringLiteral("<absent>"));
    }
    void setOwn(const QString& key, const QString& value)
    {
        save(QStringLiteral("Dorvel"), QStringLiteral("Startup"), key, value);
    }

    bool readOnly = false;  // every save fails, as with a read-only settings file
    QString unreadablePath; // pretends the program's settings file cannot be read

private:
    static QString id(const QString& a, const QString& s, const QString& k)
    {
        return (a + QLatin1Char('/') + s + QLatin1Char('/') + k).toLower();
    }
    QMap<QString, QString> m_values;
};

// Answers boxes from a queue (Ok/Yes by default when empty) and records every box.
class FakePrompter final : public Prompter {
public:
    Answer show(const Box& box) override
    {
        shown.append(box);
        if (onShow)
            onShow(box);
        if (!answers.isEmpty())
            return answers.dequeue();
        return box.buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    // A posted box stays open until the test answers it: the caller goes on meanwhile.
    void post(const Box& box, std::function<void(Answer)> onAnswer) override
    {
        shown.append(box);
        open.append({box, std::move(onAnswer)});
    }
    // The user closes the oldest open posted box.
    bool answerOpen(Answer a = Answer::Ok)
    {
        if (open.isEmpty())
            return false;
        const auto posted = open.takeFirst();
        if (posted.second)
            posted.second(a);
        return true;
    }
    std::optional<QString> openFile(const QString& title, const QString& filter,
                                    const QString& startPath) override
    {
        fileDialogs.append({title, filter, startPath});
        if (fileAnswers.isEmpty())
            return std::nullopt;
        return fileAnswers.dequeue();
    }
    QStringList texts() const
    {
        QStringList t;
        for (const Box& b : shown)
            t.append(b.text);
        return t;
    }

    QQueue<Answer> answers;
    QQueue<std::optional<QString>> fileAnswers;
    QList<Box> shown;
    QList<std::pair<Box, std::function<void(Answer)>>> open; // posted, not yet answered
    QList<QStringList> fileDialogs;
    // Runs while a box of show() is open, e.g. to deliver ticks from its event loop.
    std::function<void(const Box&)> onShow;
};

class FakeTimer final : public TickTimer {
public:
    void start() override
    {
        active = true;
        ++starts;
        started();
    }
    void stop() override { active = false; }
    bool isActive() const override { return active; }
    void setInterval(int) override {}

    bool active = false;
    int starts = 0;
};

// Records where the wake is armed; tests move the clock there and call the wake themselves.
class FakeWakeTimer final : public WakeTimer {
public:
    void wakeIn(qint64 ms) override { armedMs = ms; }
    void cancel() override { armedMs = -1; }

    qint64 armedMs = -1; // -1: not armed
};

// Records what the logic shows on the main window.
class FakeView final : public MainView {
public:
    QString chooseLanguage() override
    {
        ++languageFormShown;
        return languageAnswer;
    }
    void applyLanguage(const MessageTable& msg) override
    {
        buttonCaptions = {msg.MsgStartViewer, msg.MsgGetRecordings, msg.MsgSettings,
                          msg.MsgDeleteSelection};
    }
    void setCaption(const QString& c) override { captionText = c; }
    QString caption() const override { return captionText; }
    void setClockText(const QString& t) override { clockText = t; }
    void setClockRed(bool red) override { clockRed = red; }
    void setNextEventText(const QString& t) override { nextEventText = t; }
    void setStandbyLabel(const QString& t) override { standbyLabel = t; }
    void setShutdownLabel(const QString& t) override { shutdownLabel = t; }
    void setStateIcon(StateIcon i) override { icon = i; }
    void setTrayTip(const QString&) override {}
    void addTrayIcon() override { trayIcon = true; }
    void removeTrayIcon() override { trayIcon = false; }
    void setWaitCursor(bool on) override { waitCursor = on; }
    void setStandbyButtonEnabled(bool on) override { standbyButton = on; }
    void setWakeToolButtonEnabled(bool on) override { wakeToolButton = on; }
    void setGoTimerVisible(bool on) override { goTimerVisibleFlag = on; }
    bool goTimerVisible() const override { return goTimerVisibleFlag; }
    void setGoTimerEnabled(bool on) override { goTimerEnabled = on; }
    void setGoTimerChecked(bool on) override { goTimerChecked = on; }
    void setNoShutDownEnabled(bool on) override { noShutDownEnabled = on; }
    void placeWindow(int l, int t) override
    {
        geometry.left = l;
        geometry.top = t;
        ++placed;
    }
    void resizeWindow(int w, int h) override
    {
        geometry.width = w;
        geometry.height = h;
    }
    void setSplitRatio(double r) override { splitRatio = r; }
    Geometry geometryTwips() const override { return geometry; }
    bool isMinimized() const override { return minimized; }
    void minimize() override { minimized = true; }
    void showAndRepaint() override { shown = true; }

    QString languageAnswer;
    int languageFormShown = 0;
    QStringList buttonCaptions;
    QString captionText, clockText, nextEventText, standbyLabel, shutdownLabel;
    bool clockRed = false, trayIcon = false, waitCursor = false, standbyButton = false,
         wakeToolButton = false, goTimerVisibleFlag = false, goTimerEnabled = false,
         goTimerChecked = false, noShutDownEnabled = false, minimized = false, shown = false;
    StateIcon icon = StateIcon::Idle;
    Geometry geometry;
    double splitRatio = -1;
    int placed = 0;
};

} // namespace dorvel::test
