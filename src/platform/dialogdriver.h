#pragma once
// Runs the program's modal dialogs. Tests install beforeExec to fill fields and press OK or
// Cancel in place of a user; the dialog then is not shown at all.

#include <QDialog>
#include <functional>

class DialogDriver {
public:
    static std::function<void(QDialog*)> beforeExec;
    // QDialog::Accepted or QDialog::Rejected.
    static int exec(QDialog* dialog);
};
