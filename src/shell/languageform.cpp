#include "languageform.h"

#include "prompter.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace dorvel {

LanguageForm::LanguageForm(Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_prompter(prompter)
{
    setObjectName(QStringLiteral("LanguageForm"));
    setWindowTitle(QStringLiteral("Sprache auswählen / Select Language"));
    auto* frame = new QGroupBox(this);
    m_deutsch = new QRadioButton(QStringLiteral("Deutsch"), frame);
    m_deutsch->setObjectName(QStringLiteral("Option1"));
    m_english = new QRadioButton(QStringLiteral("English"), frame);
    m_english->setObjectName(QStringLiteral("Option2"));
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_deutsch);
    frameLayout->addWidget(m_english);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(ok);
    connect(ok, &QPushButton::clicked, this, &LanguageForm::onOk);
    // The title bar shows the whole bilingual title, with room for the window's buttons.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 120);
}

void LanguageForm::onOk()
{
    if (!m_deutsch->isChecked() && !m_english->isChecked()) {
        // Fixed and bilingual: no language is known yet.
        m_prompter.message(QStringLiteral("Bitte Sprache auswählen / Please select a language"));
        return;
    }
    m_language = m_deutsch->isChecked() ? QStringLiteral("deu") : QStringLiteral("eng");
    accept();
}

} // namespace dorvel
