#pragma once

#include <QDialog>

class QRadioButton;

namespace dorvel {

class Prompter;

// The modal language form of the first start.
class LanguageForm : public QDialog {
    Q_OBJECT
public:
    LanguageForm(Prompter& prompter, QWidget* parent = nullptr);
    // "deu", "eng", or empty when the form was closed without a choice.
    QString language() const { return m_language; }

private:
    void onOk();

    Prompter& m_prompter;
    QRadioButton* m_deutsch;
    QRadioButton* m_english;
    QString m_language;
};

} // namespace dorvel
