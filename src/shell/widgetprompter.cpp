#include "widgetprompter.h"

#include "standarderror.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>

namespace dorvel {

Prompter::Answer WidgetPrompter::show(const Box& box)
{
    // A box nobody sees (an autostarted program, a locked screen) still reaches the journal.
    writeStandardError(box.icon == Icon::Critical  ? Severity::Error
                       : box.icon == Icon::Warning ? Severity::Warning
                                                   : Severity::Info,
                       box.text);
    if (m_headless) {
        switch (box.buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            return Answer::Cancel;
        case Buttons::YesNo:
            return Answer::No;
        }
    }
    QMessageBox mb(m_parent);
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
    switch (mb.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
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
