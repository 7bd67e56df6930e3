#include "MessageBoxPrompt.h"

#include <QMessageBox>

namespace taviro {

int MessageBoxPrompt::ask(const QString& text, const QString& title, int flags)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(title.isEmpty() ? QStringLiteral("Taviro") : title);
    box.setText(text);
    switch (flags & 0x70) {
    case 16:
        box.setIcon(QMessageBox::Critical);
        break;
    case 32:
        box.setIcon(QMessageBox::Question);
        break;
    case PromptFlags::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case 64:
        box.setIcon(QMessageBox::Information);
        break;
    default:
        break;
    }
    const int buttons = flags & 7;
    const bool secondDefault = (flags & PromptFlags::SecondButtonDefault) != 0;
    if (buttons == PromptFlags::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(secondDefault ? QMessageBox::No : QMessageBox::Yes);
    } else if (buttons == PromptFlags::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(secondDefault ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    case QMessageBox::Cancel:
        return PromptAnswer::Cancel;
    default:
        return PromptAnswer::Ok;
    }
}

} // namespace taviro
