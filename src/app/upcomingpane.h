#pragma once
// The "Upcoming" pane: scheduled transactions due and those of the next 30 days, with
// Enter, Skip and Edit then enter for a schedule's next occurrence.

#include "app/commands.h"

#include <QDate>
#include <QWidget>

class Budget;
class QLabel;
class QPushButton;
class QTreeWidget;

class UpcomingPane : public QWidget {
    Q_OBJECT
public:
    explicit UpcomingPane(const Budget& budget, QWidget* parent = nullptr);

    // Lists the occurrences as of the day.
    void rebuild(const QDate& today);
    // Occurrences of "ask me" schedules (or ones that cannot be entered) waiting now.
    int waitingCount() const { return waiting_; }

    QTreeWidget* list() const { return list_; }
    QPushButton* enterButton() const { return enter_; }
    QPushButton* skipButton() const { return skip_; }
    QPushButton* editEnterButton() const { return editEnter_; }
    QPushButton* editScheduleButton() const { return editSchedule_; }

signals:
    // A schedule command for the schedule at that place in the budget's list.
    void commandRequested(Command command, quint32 schedule);

private:
    void updateButtons();
    void request(Command command);

    const Budget& budget_;
    QTreeWidget* list_;
    QLabel* summary_;
    QPushButton* enter_;
    QPushButton* skip_;
    QPushButton* editEnter_;
    QPushButton* editSchedule_;
    QPushButton* newSchedule_;
    int waiting_ = 0;
};
