#include "app/restoredialog.h"

#include "model/budget.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Column { NameColumn, SavedColumn, ContentsColumn, ColumnCount };
} // namespace

QString restoreChangesText(const BudgetSummary& now, const BudgetSummary& backup) {
    QStringList changed;
    QStringList same;
    auto figure = [&](const QString& what, qint64 a, qint64 b) {
        if (a == b)
            same << QStringLiteral("%1 %2").arg(b).arg(what);
        else
            changed << QStringLiteral("%1 %2 \u2192 %3").arg(what).arg(a).arg(b);
    };
    figure(QStringLiteral("accounts"), now.accounts, backup.accounts);
    figure(QStringLiteral("envelopes"), now.envelopes, backup.envelopes);
    figure(QStringLiteral("transactions"), now.transactions, backup.transactions);
    if (now.available == backup.available)
        same << QStringLiteral("%1 available").arg(formatAmount(backup.available, true));
    else
        changed << QStringLiteral("available for budgeting %1 \u2192 %2")
                       .arg(formatAmount(now.available, true),
                            formatAmount(backup.available, true));
    if (changed.isEmpty())
        return QStringLiteral("Restoring it changes none of these: %1.").arg(same.join(", "));
    QString text = QStringLiteral("Restoring it changes %1.").arg(changed.join(", "));
    if (!same.isEmpty())
        text += QStringLiteral(" Unchanged: %1.").arg(same.join(", "));
    return text;
}

QString backupSummaryText(const BackupGeneration& g) {
    if (!g.read)
        return QStringLiteral("Reading...");
    if (!g.readable)
        return QStringLiteral("Could not be read");
    return QStringLiteral("%1 accounts, %2 envelopes, %3 transactions, %4 available")
        .arg(g.summary.accounts)
        .arg(g.summary.envelopes)
        .arg(g.summary.transactions)
        .arg(formatAmount(g.summary.available, true));
}

RestoreDialog::RestoreDialog(const Budget& current, std::vector<BackupGeneration> generations,
                             QWidget* parent)
    : QDialog(parent), now_(summarizeBudget(current)), generations_(std::move(generations)) {
    setWindowTitle(QStringLiteral("Restore from backup"));
    auto* intro = new QLabel(
        QStringLiteral("Choose the version of the budget to go back to. The budget as it is "
                       "now is kept as the newest backup."),
        this);
    intro->setWordWrap(true);
    list_ = new QTreeWidget(this);
    list_->setColumnCount(ColumnCount);
    list_->setHeaderLabels(
        {QStringLiteral("Backup"), QStringLiteral("Saved"), QStringLiteral("Contents")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(true);
    changes_ = new QLabel(this);
    changes_->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    restore_ = buttons->addButton(QStringLiteral("Restore"), QDialogButtonBox::AcceptRole);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (chosen())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(list_, 1);
    layout->addWidget(changes_);
    layout->addWidget(buttons);

    for (std::size_t i = 0; i < generations_.size(); ++i) {
        new QTreeWidgetItem(list_);
        showRow(int(i));
    }
    if (generations_.empty())
        changes_->setText(QStringLiteral("There are no backups yet: they are made as you "
                                         "change the budget."));
    for (int c = 0; c < ColumnCount - 1; ++c) {
        list_->resizeColumnToContents(c);
        list_->setColumnWidth(c, list_->columnWidth(c) + 16);
    }
    connect(list_, &QTreeWidget::currentItemChanged, this, &RestoreDialog::updateChoice);
    updateChoice();
    resize(760, 420);
    QTimer::singleShot(0, this, &RestoreDialog::readNext);
}

void RestoreDialog::showRow(int row) {
    const BackupGeneration& g = generations_[std::size_t(row)];
    QTreeWidgetItem* item = list_->topLevelItem(row);
    item->setText(NameColumn, g.name);
    item->setText(SavedColumn, QLocale().toString(g.modified, QLocale::ShortFormat));
    item->setText(ContentsColumn, backupSummaryText(g));
    // An unreadable backup stays listed but cannot be chosen.
    item->setDisabled(g.read && !g.readable);
}

void RestoreDialog::readNext() {
    for (std::size_t i = 0; i < generations_.size(); ++i) {
        if (generations_[i].read)
            continue;
        readBackup(generations_[i]);
        showRow(int(i));
        updateChoice();
        QTimer::singleShot(0, this, &RestoreDialog::readNext);
        return;
    }
}

void RestoreDialog::readAll() {
    for (std::size_t i = 0; i < generations_.size(); ++i) {
        if (!generations_[i].read) {
            readBackup(generations_[i]);
            showRow(int(i));
        }
    }
    updateChoice();
}

const BackupGeneration* RestoreDialog::chosen() const {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0 || std::size_t(row) >= generations_.size())
        return nullptr;
    const BackupGeneration& g = generations_[std::size_t(row)];
    return g.read && g.readable ? &g : nullptr;
}

QString RestoreDialog::chosenPath() const {
    const BackupGeneration* g = chosen();
    return g ? g->path : QString();
}

void RestoreDialog::updateChoice() {
    const BackupGeneration* g = chosen();
    restore_->setEnabled(g != nullptr);
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (g)
        changes_->setText(restoreChangesText(now_, g->summary));
    else if (row >= 0)
        changes_->setText(backupSummaryText(generations_[std::size_t(row)]));
    else if (!generations_.empty())
        changes_->setText(QStringLiteral("Choose a backup to see what restoring it changes."));
}
