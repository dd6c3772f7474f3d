#include "platform/dialogdriver.h"

std::function<void(QDialog*)> DialogDriver::beforeExec;

int DialogDriver::exec(QDialog* dialog) {
    if (beforeExec) {
        // A driver that presses neither button leaves the dialog rejected.
        dialog->setResult(QDialog::Rejected);
        beforeExec(dialog);
        return dialog->result();
    }
    return dialog->exec();
}
