#pragma once
// Runs the operation dialogs modally. Tests install beforeExec to fill fields and press
// OK or Cancel in place of a user; the dialog then is not shown at all.

#include <QDialog>
#include <functional>

class QDialogButtonBox;
class QPushButton;

class DialogDriver {
public:
    static std::function<void(QDialog*)> beforeExec;
    // QDialog::Accepted or QDialog::Rejected.
    static int exec(QDialog* dialog);
};

// OK and Cancel at the bottom of a dialog, OK the default button (Enter), Cancel on Escape.
QDialogButtonBox* makeOkCancel(QDialog* dialog);
QPushButton* okButtonOf(QDialogButtonBox* box);
