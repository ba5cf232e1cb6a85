#pragma once

#include <QString>

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
    // Returns the chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> openFile(const QString& title, const QString& filter,
                                            const QString& startPath) = 0;

    void message(const QString& text, Icon icon = Icon::None)
    {
        show(Box{text, Buttons::Ok, icon, {}, false});
    }
};

} // namespace dorvel
