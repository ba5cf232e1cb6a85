#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace dorvel {

// Message boxes and the open-file dialog. Logic shows every box through this seam; tests
// answer from a queue and read back what was shown.
class Prompter {
public:
    enum class Icon { None, Information, Question, Warning, Critical };
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    struct Box {
        QString text;
        Buttons buttons = Buttons::Ok;
        Icon icon = Icon::None;
        QString title; // empty = the program's title "Dorvel"
        bool systemModal = false;
    };

    virtual ~Prompter() = default;
    virtual Answer show(const Box& box) = 0;
    // Shows a box without waiting for it: the caller goes on at once and onAnswer runs when
    // the user has closed it. Boxes opened by the scheduler tick use this, so that an
    // unanswered box never holds up a recording. Implementations that cannot show a box
    // without waiting may fall back to show().
    virtual void post(const Box& box, std::function<void(Answer)> onAnswer = {})
    {
        const Answer a = show(box);
        if (onAnswer)
            onAnswer(a);
    }
    // Returns the chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(const QString& title, const QString& filter,
                                            const QString& startPath) = 0;

    void message(const QString& text, Icon icon = Icon::None)
    {
        show(Box{text, Buttons::Ok, icon, {}, false});
    }
};

} // namespace dorvel
