#include "widgetprompter.h"

#include "standarderror.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace dorvel {

namespace {

// A box nobody sees (an autostarted program, a locked screen) still reaches the journal.
void journal(const Prompter::Box& box)
{
    using Icon = Prompter::Icon;
    writeStandardError(box.icon == Icon::Critical  ? Severity::Error
                       : box.icon == Icon::Warning ? Severity::Warning
                                                   : Severity::Info,
                       box.text);
}

// Without a display nobody can answer: the safe answer, so nothing waits for ever.
Prompter::Answer headlessAnswer(Prompter::Buttons buttons)
{
    switch (buttons) {
    case Prompter::Buttons::Ok:
        return Prompter::Answer::Ok;
    case Prompter::Buttons::OkCancel:
        return Prompter::Answer::Cancel;
    case Prompter::Buttons::YesNo:
        return Prompter::Answer::No;
    }
    return Prompter::Answer::Cancel;
}

void setUp(QMessageBox& mb, const Prompter::Box& box)
{
    using Icon = Prompter::Icon;
    using Buttons = Prompter::Buttons;
    mb.setWindowTitle(box.title.isEmpty() ? QStringLiteral("Dorvel") : box.title);
    mb.setText(box.text);
    switch (box.icon) {
    case Icon::None:
        mb.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Information:
        mb.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        mb.setIcon(QMessageBox::Question);
        break;
    case Icon::Warning:
        mb.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        mb.setIcon(QMessageBox::Critical);
        break;
    }
    switch (box.buttons) {
    case Buttons::Ok:
        mb.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        mb.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        mb.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    if (box.systemModal) {
        // The closest a desktop program gets: application-modal and above every window.
        mb.setWindowModality(Qt::ApplicationModal);
        mb.setWindowFlag(Qt::WindowStaysOnTopHint);
    }
}

Prompter::Answer answerOf(int button)
{
    switch (button) {
    case QMessageBox::Ok:
        return Prompter::Answer::Ok;
    case QMessageBox::Yes:
        return Prompter::Answer::Yes;
    case QMessageBox::No:
        return Prompter::Answer::No;
    default:
        return Prompter::Answer::Cancel;
    }
}

} // namespace

Prompter::Answer WidgetPrompter::show(const Box& box)
{
    journal(box);
    if (m_headless)
        return headlessAnswer(box.buttons);
    QMessageBox mb(m_parent);
    setUp(mb, box);
    return answerOf(mb.exec());
}

void WidgetPrompter::post(const Box& box, std::function<void(Answer)> onAnswer)
{
    journal(box);
    if (m_headless) {
        if (onAnswer)
            onAnswer(headlessAnswer(box.buttons));
        return;
    }
    auto* mb = new QMessageBox(m_parent);
    mb->setAttribute(Qt::WA_DeleteOnClose);
    setUp(*mb, box);
    if (!box.systemModal)
        mb->setWindowModality(Qt::NonModal);
    QObject::connect(mb, &QMessageBox::finished, mb, [mb, onAnswer = std::move(onAnswer)] {
        if (onAnswer)
            onAnswer(answerOf(mb->standardButton(mb->clickedButton())));
    });
    mb->show();
}

std::optional<QString> WidgetPrompter::openFile(const QString& title, const QString& filter,
                                                const QString& startPath)
{
    if (m_headless) {
        std::fprintf(stderr, "Dorvel: %s: no display to choose a file\n", qPrintable(title));
        return std::nullopt;
    }
    QFileDialog dialog(m_parent, title, QFileInfo(startPath).absolutePath(), filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.selectFile(startPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace dorvel
