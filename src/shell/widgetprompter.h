#pragma once

#include "prompter.h"

class QWidget;

namespace dorvel {

// Real message boxes and file dialogs, owned by the main window.
class WidgetPrompter final : public Prompter {
public:
    explicit WidgetPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    Answer show(const Box& box) override;
    // A box that does not block: the program's event loop, and with it the scheduler's
    // timer, keeps running while it is open.
    void post(const Box& box, std::function<void(Answer)> onAnswer) override;
    std::optional<QString> openFile(const QString& title, const QString& filter,
                                    const QString& startPath) override;

private:
    QWidget* m_parent;
};

} // namespace dorvel
