#pragma once
// "Restore from backup": the backups with their time and what each holds, what restoring
// the chosen one would change, and the choice.

#include "storage/backups.h"

#include <QDialog>
#include <vector>

class Budget;
class QLabel;
class QPushButton;
class QTreeWidget;

// What restoring a backup changes: each figure that differs as now → then, then those that
// stay the same.
QString restoreChangesText(const BudgetSummary& now, const BudgetSummary& backup);
// One line of a backup's contents.
QString backupSummaryText(const BackupGeneration& generation);

class RestoreDialog : public QDialog {
    Q_OBJECT
public:
    RestoreDialog(const Budget& current, std::vector<BackupGeneration> generations,
                  QWidget* parent = nullptr);

    // The backups are read one at a time after the dialog opens; this reads the rest now.
    void readAll();
    // The chosen backup (empty when none can be chosen).
    QString chosenPath() const;
    const BackupGeneration* chosen() const;

    QTreeWidget* list() const { return list_; }
    QLabel* changesLine() const { return changes_; }
    QPushButton* restoreButton() const { return restore_; }

private:
    void readNext();
    void showRow(int row);
    void updateChoice();

    BudgetSummary now_;
    std::vector<BackupGeneration> generations_;
    QTreeWidget* list_;
    QLabel* changes_;
    QPushButton* restore_;
};
