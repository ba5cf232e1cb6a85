#pragma once

#include "prompter.h"

class QWidget;

namespace dorvel {

// Real message boxes and file dialogs, owned by the main window.
class WidgetPrompter final : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    // Without a display nobody can see a box: its text goes to standard error and it is
    // answered as a user who cannot agree would answer (OK for a message, Cancel or No for a
    // question, no file chosen).
    void setHeadless(bool on) { m_headless = on; }

    Answer show(const Box& box) override;
    // A box that does not block: the program's event loop, and with it the scheduler's
    // timer, keeps running while it is open.
    void post(const Box& box, std::function<void(Answer)> onAnswer) override;
    std::optional<QString> openFile(const QString& title, const QString& filter,
                                    const QString& startPath) override;

private:
    QWidget* m_parent;
    bool m_headless = false;
};

} // namespace dorvel
