// Making, changing and entering scheduled transactions.

#include "app/operations.h"

#include "app/dialogdriver.h"
#include "app/scheduledialog.h"
#include "app/shell.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/schedule.h"

bool makeSchedule(Shell& shell, const Schedule& draft) {
    Budget& budget = shell.budget();
    ScheduleDialog dialog(budget, draft, false, shell.dialogParent());
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return false;
    budget.schedules().push_back(dialog.schedule());
    // What is already due of an automatic schedule comes in at once, as at start.
    enterDueOccurrences(budget, budget.schedules().size() - 1, toQDate(Clock::now()));
    return true;
}

bool newSchedule(Shell& shell) {
    Schedule draft;
    draft.first = toQDate(Clock::now());
    return makeSchedule(shell, draft);
}

bool editSchedule(Shell& shell, std::size_t index) {
    Budget& budget = shell.budget();
    if (index >= budget.schedules().size())
        return false;
    ScheduleDialog dialog(budget, budget.schedules()[index], true, shell.dialogParent());
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return false;
    if (dialog.removeChosen()) {
        budget.schedules().erase(budget.schedules().begin() + std::ptrdiff_t(index));
    } else {
        budget.schedules()[index] = dialog.schedule();
        enterDueOccurrences(budget, index, toQDate(Clock::now()));
    }
    return true;
}

bool enterScheduled(Shell& shell, std::size_t index, bool edit) {
    Budget& budget = shell.budget();
    if (index >= budget.schedules().size())
        return false;
    Schedule& s = budget.schedules()[index];
    const Occurrence next = nextOccurrence(s);
    if (next.index < 0 || !isRecordable(budget, s))
        return false;
    // Edited before it is recorded: a Cancel leaves the budget, and the undo list, untouched.
    Transaction t = occurrenceTransaction(s, next.date);
    if (edit && !editDraft(shell, t))
        return false;
    budget.recordTransaction(std::move(t));
    budget.schedules()[index].done = next.index + 1;
    return true;
}

bool skipScheduled(Shell& shell, std::size_t index) {
    Budget& budget = shell.budget();
    if (index >= budget.schedules().size())
        return false;
    Schedule& s = budget.schedules()[index];
    const Occurrence next = nextOccurrence(s);
    if (next.index < 0)
        return false;
    s.done = next.index + 1;
    return true;
}
