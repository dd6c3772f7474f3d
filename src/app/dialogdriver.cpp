#include "app/dialogdriver.h"

#include "app/operations_logic.h"
#include "app/shell.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>

QDialogButtonBox* makeOkCancel(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    okButtonOf(box)->setDefault(true);
    // OK is checked by each dialog before it closes; Cancel closes at once.
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

QPushButton* okButtonOf(QDialogButtonBox* box) {
    return box->button(QDialogButtonBox::Ok);
}

namespace {
constexpr char kScheduleProperty[] = "scheduleChosen";
}

QPushButton* addScheduleButton(QDialogButtonBox* box, QDialog* dialog) {
    QPushButton* button =
        box->addButton(QStringLiteral("Schedule..."), QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    button->setObjectName(QStringLiteral("scheduleButton"));
    QObject::connect(button, &QPushButton::clicked, dialog, [box, dialog] {
        dialog->setProperty(kScheduleProperty, true);
        okButtonOf(box)->click();
        // A check that kept the dialog open leaves it a plain transaction dialog.
        if (dialog->result() != QDialog::Accepted)
            dialog->setProperty(kScheduleProperty, false);
    });
    return button;
}

bool scheduleChosen(const QDialog* dialog) {
    return dialog->property(kScheduleProperty).toBool();
}

void hideScheduleButton(QDialog* dialog) {
    if (auto* button = dialog->findChild<QPushButton*>(QStringLiteral("scheduleButton")))
        button->hide();
}

bool execWithHelp(Shell& shell, const HelpText& help, QDialog* dialog) {
    HelpScope scope(shell, help.heading, help.body);
    return DialogDriver::exec(dialog) == QDialog::Accepted;
}

void widenFields(QDialog* dialog) {
    const int average = dialog->fontMetrics().averageCharWidth();
    for (QWidget* field : dialog->findChildren<QWidget*>()) {
        if (qobject_cast<QComboBox*>(field) ||
            (qobject_cast<QLineEdit*>(field) && !qobject_cast<QComboBox*>(field->parent())))
            field->setMinimumWidth(average * 42);
        // A drop-down sized to its longest entry would make a dialog wider than any screen
        // once a name runs to hundreds of characters; such entries are cut short instead.
        if (qobject_cast<QComboBox*>(field))
            field->setMaximumWidth(average * 80);
    }
}
