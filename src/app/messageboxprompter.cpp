#include "app/messageboxprompter.h"

#include <QApplication>
#include <QMessageBox>

namespace {
// A question asked while a dialog is open belongs to that dialog, so that it shows over it
// rather than over the main window behind it.
QWidget* ownerFor(QWidget* fallback) {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return fallback;
}

QMessageBox::Icon boxIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Exclamation:
        return QMessageBox::Warning;
    case PromptIcon::Information:
        return QMessageBox::Information;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Question:
        return QMessageBox::Question;
    case PromptIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

bool MessageBoxPrompter::askYesNo(const QString& title, const QString& text, PromptIcon icon) {
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No,
                    ownerFor(owner_));
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::inform(const QString& title, const QString& text, PromptIcon icon) {
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, ownerFor(owner_));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
