#pragma once
// Shared pieces of the operation dialogs: button rows, help text while open, field widths.

#include "platform/dialogdriver.h"

class QDialogButtonBox;
class QPushButton;

// OK and Cancel at the bottom of a dialog, OK the default button (Enter), Cancel on Escape.
QDialogButtonBox* makeOkCancel(QDialog* dialog);
QPushButton* okButtonOf(QDialogButtonBox* box);
// "Schedule..." beside OK: runs the dialog's own OK checks and, when they let it close,
// marks the dialog as asking for a schedule of its entry instead of a transaction.
QPushButton* addScheduleButton(QDialogButtonBox* box, QDialog* dialog);
bool scheduleChosen(const QDialog* dialog);
// Editing a recorded transaction makes no schedule.
void hideScheduleButton(QDialog* dialog);

class Shell;
struct HelpText;
// Runs the dialog with its help text in the information pane; the pane's previous content
// is back before the caller changes or saves anything. True on OK.
bool execWithHelp(Shell& shell, const HelpText& help, QDialog* dialog);

// Gives every text field and drop-down of the dialog room for about 42 average characters, so
// that names and amounts show whole; a drop-down grows with its entries up to 80.
void widenFields(QDialog* dialog);
