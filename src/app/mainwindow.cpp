#include "app/mainwindow.h"

#include "app/aboutbox.h"
#include "app/accountlist.h"
#include "app/columnwidths.h"
#include "app/envelopetree.h"
#include "app/infopane.h"
#include "app/messageboxprompter.h"
#include "app/operations.h"
#include "app/restoredialog.h"
#include "app/transactionlist.h"
#include "app/upcomingpane.h"
#include "gui/reportwindow.h"
#include "model/budget.h"
#include "model/clock.h"
#include "model/health.h"
#include "model/prompter.h"
#include "model/schedule.h"
#include "model/split.h"
#include "model/undo.h"
#include "platform/dialogdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDockWidget>
#include <QEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

PaneLayout computePaneLayout(const QSize& client, int filterBarHeight, bool showTransactions) {
    const int w = client.width();
    const int h = client.height();
    const int left = int(w * 0.35);
    PaneLayout l;
    l.transactionListShown = showTransactions;
    l.accountList = QRect(0, 0, left, int(h * 0.25));
    const int infoTop = l.accountList.height() + 1;
    int filterTop;
    if (showTransactions) {
        filterTop = infoTop + int(h * 0.4);
    } else {
        // Without the list the pane grows down to the filter bar at the bottom.
        filterTop = qMax(infoTop, h - filterBarHeight);
    }
    l.infoPane = QRect(0, infoTop, left, filterTop - infoTop);
    l.filterBar = QRect(0, filterTop, w, filterBarHeight);
    const int listTop = filterTop + filterBarHeight + 1;
    l.transactionList = QRect(0, listTop, w, qMax(0, h - listTop));
    l.tree = QRect(left, 0, w - left, filterTop);
    return l;
}

MainWindow::MainWindow(Budget& budget, Prompter* prompter)
    : budget_(budget), history_(std::make_unique<UndoHistory>(budget)) {
    initAppResources();
    if (!prompter) {
        ownPrompter_ = std::make_unique<MessageBoxPrompter>(this);
        prompter = ownPrompter_.get();
    }
    prompter_ = prompter;
    setWindowTitle(QStringLiteral("Tallykeep"));
    setWindowIcon(QIcon(QStringLiteral(":/tallykeep.png")));

    client_ = new QWidget(this);
    setCentralWidget(client_);
    // Creation order is the Tab order between the panes.
    accounts_ = new AccountList(budget_, client_);
    info_ = new InfoPane(client_);
    tree_ = new EnvelopeTree(budget_, client_);
    filter_ = new FilterBar(client_);
    transactions_ = new TransactionList(budget_, client_);
    client_->installEventFilter(this);

    upcoming_ = new UpcomingPane(budget_, this);
    upcomingDock_ = new QDockWidget(QStringLiteral("Upcoming"), this);
    upcomingDock_->setObjectName(QStringLiteral("upcoming"));
    upcomingDock_->setWidget(upcoming_);
    upcomingDock_->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    addDockWidget(Qt::BottomDockWidgetArea, upcomingDock_);
    upcomingDock_->hide();

    createMenus();
    connectPanes();
}

MainWindow::~MainWindow() = default;

void MainWindow::createMenus() {
    auto add = [this](QMenu* menu, Command command) {
        QAction* action = menu->addAction(commandText(command));
        setActionCommand(action, command);
        connect(action, &QAction::triggered, this,
                [this, command] { runCommand(CommandRequest{command}); });
        menuActions_.append(action);
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, Command::AddAccount);
    add(file, Command::AddFolder);
    add(file, Command::ImportTransactions);
    add(file, Command::Print)->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    file->addSeparator();
    add(file, Command::RestoreBackup);
    file->addSeparator();
    add(file, Command::Exit);
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    add(edit, Command::Undo)->setShortcut(QKeySequence::Undo);
    add(edit, Command::Redo)
        ->setShortcuts(
            {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    edit->addSeparator();
    add(edit, Command::NewSchedule);
    QAction* upcoming = upcomingDock_->toggleViewAction();
    upcoming->setText(QStringLiteral("Upcoming"));
    edit->addAction(upcoming);
    add(edit, Command::MoveMoney);
    add(edit, Command::Reconcile);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, Command::About)
        ->setShortcuts(
            {QKeySequence(QStringLiteral("Alt+/")), QKeySequence(QStringLiteral("Alt+?"))});
    for (QAction* a : std::as_const(menuActions_))
        a->setShortcutContext(Qt::ApplicationShortcut);
    updateUndoActions();
}

void MainWindow::updateUndoActions() {
    QAction* undo = menuAction(Command::Undo);
    QAction* redo = menuAction(Command::Redo);
    undo->setEnabled(history_->canUndo());
    undo->setText(history_->canUndo() ? QStringLiteral("&Undo ") + history_->undoName()
                                      : commandText(Command::Undo));
    redo->setEnabled(history_->canRedo());
    redo->setText(history_->canRedo() ? QStringLiteral("&Redo ") + history_->redoName()
                                      : commandText(Command::Redo));
}

bool MainWindow::asStep(const QString& name, const std::function<void()>& body, bool wholeBudget) {
    history_->begin();
    body();
    const ChangeReport change = history_->end(name);
    updateUndoActions();
    if (change)
        showChanges(change, wholeBudget);
    return bool(change);
}

void MainWindow::showChanges(const ChangeReport& change, bool wholeBudget) {
    if (wholeBudget) {
        populate();
    } else {
        if (change.accounts || change.orders) {
            repaintAccountList();
            layoutWindow();
        }
        refreshTexts();
        // A recorded or removed transaction, or an account changed on its own (its name and
        // balance are in the list), needs the rows built again; an edited transaction only
        // its row (which rebuilds the list when it shows an account's running balance).
        // An account's register also shows the schedules' coming occurrences.
        const bool projected = change.schedules && filter_->byAccount()->isChecked();
        if (change.transactionList || projected ||
            (change.accounts && change.editedTransactions.empty()))
            rebuildTransactionList();
        else if (!change.editedTransactions.empty())
            transactions_->updateRows(change.editedTransactions);
        else if (change.items)
            transactions_->viewport()->update(); // envelope names are painted from the budget
    }
    if (change.schedules)
        schedulesChanged();
    saveBudget();
}

QAction* MainWindow::menuAction(Command command) const {
    for (QAction* a : menuActions_) {
        if (actionCommand(a) == command)
            return a;
    }
    return nullptr;
}

void MainWindow::connectPanes() {
    connect(info_->addAccountButton(), &QPushButton::clicked, this,
            [this] { runCommand(CommandRequest{Command::AddAccount}); });
    connect(info_->showReportsButton(), &QPushButton::clicked, this,
            [this] { showReports(budget_, this, prompter()); });
    connect(info_->unhideButton(), &QPushButton::clicked, this, [this] {
        asStep(QStringLiteral("Unhide"), [this] { showUnhideMenu(*this, QCursor::pos()); });
    });

    connect(tree_, &EnvelopeTree::zoneClicked, this, [this](TreeZone zone, AccountBase* item) {
        static const Command commands[] = {Command::None,          Command::EditEnvelope,
                                           Command::RecordExpense, Command::FundEnvelope,
                                           Command::AddEnvelope,   Command::EditFolder,
                                           Command::FundFolder,    Command::AddFolder};
        const int z = int(zone);
        if (z > 0 && z < 8)
            runCommand(CommandRequest{commands[z], item});
    });
    connect(tree_, &EnvelopeTree::rowContextMenu, this,
            [this](QTreeWidgetItem* row, const QPoint& globalPos) {
                AccountBase* item = tree_->itemOf(row);
                if (std::unique_ptr<QMenu> menu = treeContextMenu(row))
                    runMenuChoice(menu->exec(globalPos), item);
            });
    connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        AccountBase* item = tree_->itemOf(row);
        if (item && item->getType() == ItemType::Envelope && !item->isReadOnly())
            runCommand(CommandRequest{Command::EditEnvelope, item});
    });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] {
        if (filter_->byEnvelope()->isChecked())
            rebuildTransactionList();
    });

    connect(accounts_, &AccountList::actionClicked, this, [this](int action, Account* account) {
        Command command = Command::None;
        switch (action) {
        case ActionDeposit:
            command = Command::Deposit;
            break;
        case ActionTransfer:
            command = Command::Transfer;
            break;
        case ActionPayCard:
            command = Command::PayCreditCard;
            break;
        case ActionEdit:
            command = Command::EditAccount;
            break;
        default:
            return;
        }
        runCommand(CommandRequest{command, account});
    });
    connect(accounts_, &AccountList::accountContextMenu, this,
            [this](Account* account, const QPoint& globalPos) {
                if (std::unique_ptr<QMenu> menu = accountContextMenu(account))
                    runMenuChoice(menu->exec(globalPos), account);
            });
    connect(accounts_, &AccountList::accountDoubleClicked, this, [this](Account* account) {
        if (!account->isReadOnly())
            runCommand(CommandRequest{Command::EditAccount, account});
    });
    connect(accounts_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filter_->byAccount()->isChecked())
            rebuildTransactionList();
    });

    connect(transactions_, &TransactionList::editRequested, this, [this](const Transaction* t) {
        runCommand(CommandRequest{Command::EditTransaction, nullptr, t});
    });
    connect(transactions_, &TransactionList::deleteRequested, this, [this] {
        CommandRequest request{Command::DeleteTransaction};
        request.transactions = transactions_->selectedTransactions();
        runCommand(request);
    });
    connect(transactions_, &TransactionList::transactionContextMenu, this,
            [this](const Transaction* t, const QPoint& globalPos) {
                if (std::unique_ptr<QMenu> menu = transactionContextMenu(t))
                    runMenuChoice(menu->exec(globalPos), nullptr, t);
            });

    connect(transactions_, &TransactionList::clearedToggleRequested, this,
            [this](const Transaction* t, ItemId account) { toggleCleared(t, account); });

    connect(filter_, &FilterBar::changed, this, [this] {
        rebuildTransactionList();
        layoutWindow();
    });
    connect(filter_, &FilterBar::searchChanged, this, &MainWindow::rebuildTransactionList);
    const auto runScheduleCommand = [this](Command command, quint32 schedule) {
        runCommand(CommandRequest{command, nullptr, nullptr, ItemId(schedule)});
    };
    connect(upcoming_, &UpcomingPane::commandRequested, this, runScheduleCommand);
    connect(transactions_, &TransactionList::scheduleCommandRequested, this, runScheduleCommand);
    // "Over budget" is a question of this month too.
    connect(tree_, &EnvelopeTree::monthChanged, this, &MainWindow::refreshBudgetHealth);
}

void MainWindow::populate() {
    {
        const QSignalBlocker blockTree(tree_);
        const QSignalBlocker blockAccounts(accounts_);
        accounts_->rebuild();
        tree_->rebuild();
    }
    rebuildTransactionList();
    layoutWindow();
    refreshTexts();
    refreshBudgetHealth();
    upcoming_->rebuild(toQDate(Clock::now()));
}

void MainWindow::schedulesChanged() {
    upcoming_->rebuild(toQDate(Clock::now()));
    if (upcoming_->waitingCount() > 0)
        upcomingDock_->show();
    tree_->invalidateValues();
    tree_->viewport()->update();
}

int MainWindow::enterDueScheduled() {
    const QDate today = toQDate(Clock::now());
    lastDueCheck_ = today;
    int entered = 0;
    const bool changed = asStep(QStringLiteral("Enter scheduled transactions"),
                                [&] { entered = enterDueOccurrences(budget_, today); });
    // A new day moves the register's coming occurrences on even when nothing was due.
    if (!changed && filter_->byAccount()->isChecked())
        rebuildTransactionList();
    // Even with nothing entered the waiting ones are shown (at start, or a new day).
    schedulesChanged();
    if (entered > 0)
        statusBar()->showMessage(enteredMessage(entered));
    return entered;
}

int MainWindow::startSchedules() {
    const int entered = enterDueScheduled();
    if (!dayTimer_) {
        // A minute's delay after midnight is of no matter; a wake from sleep is caught too.
        dayTimer_ = new QTimer(this);
        dayTimer_->setInterval(60 * 1000);
        connect(dayTimer_, &QTimer::timeout, this, [this] {
            if (toQDate(Clock::now()) != lastDueCheck_ && !QApplication::activeModalWidget())
                enterDueScheduled();
        });
        dayTimer_->start();
    }
    return entered;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Resize)
        layoutWindow();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::layoutWindow() {
    const PaneLayout l =
        computePaneLayout(client_->size(), filter_->height(), filter_->showList()->isChecked());
    accounts_->setGeometry(l.accountList);
    info_->setGeometry(l.infoPane);
    filter_->setGeometry(l.filterBar);
    transactions_->setGeometry(l.transactionList);
    transactions_->setVisible(l.transactionListShown);
    tree_->setGeometry(l.tree);
    accounts_->fitColumns();
    tree_->computeColumnWidths();
}

namespace {
const QString kGeometryKey = QStringLiteral("window/geometry");
const QString kTreeWidthsKey = QStringLiteral("tree/columnWidths");
const QString kListWidthsKey = QStringLiteral("transactions/columnWidths");
} // namespace

void MainWindow::saveViewState(QSettings& settings) const {
    settings.setValue(kGeometryKey, saveGeometry());
    settings.setValue(kTreeWidthsKey, tree_->columnWidths()->userWidths());
    settings.setValue(kListWidthsKey, transactions_->columnWidths()->userWidths());
}

bool MainWindow::restoreViewState(const QSettings& settings) {
    // Only a list: QVariant would turn a stray text into a list of its character codes.
    const auto widths = [&settings](const QString& key) {
        const QVariant value = settings.value(key);
        const bool isList =
            value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
        return isList ? value.toList() : QVariantList();
    };
    tree_->columnWidths()->setUserWidths(widths(kTreeWidthsKey));
    transactions_->columnWidths()->setUserWidths(widths(kListWidthsKey));
    tree_->computeColumnWidths();
    transactions_->fitColumns();
    const QByteArray geometry = settings.value(kGeometryKey).toByteArray();
    return !geometry.isEmpty() && restoreGeometry(geometry);
}

// ----- Shell -------------------------------------------------------------------------

void MainWindow::showHelp(const QString& heading, const QStringList& body) {
    info_->showHelp(heading, body);
}

void MainWindow::restoreHelp() {
    info_->restoreHelp();
}

void MainWindow::refreshTexts() {
    client_->setUpdatesEnabled(false);
    accounts_->refreshTexts();
    // A balance that gained a digit is shown whole, not cut until the next layout.
    accounts_->fitColumns();
    tree_->refreshLabels();
    client_->setUpdatesEnabled(true);
}

void MainWindow::saveBudget() {
    if (saver_)
        saver_(budget_, prompter());
    tree_->invalidateValues();
    tree_->viewport()->update();
    refreshBudgetHealth();
}

void MainWindow::refreshBudgetHealth() {
    info_->showReport(buildBudgetHealth(budget_));
}

void MainWindow::rebuildTransactionList() {
    const bool show = filter_->showList()->isChecked();
    if (show != listShown_) {
        listShown_ = show;
        layoutWindow();
    }
    if (!show) {
        transactions_->clearRows();
        return;
    }
    TransactionFilter f;
    f.byEnvelope = filter_->byEnvelope()->isChecked();
    f.envelopeItem = tree_->selectedItem();
    f.byAccount = filter_->byAccount()->isChecked();
    f.account = accounts_->selectedAccount();
    f.search = filter_->searchField()->text();
    transactions_->showTransactions(f);
}

void MainWindow::updateTransactionRow(const Transaction* t) {
    transactions_->updateRow(t);
}

void MainWindow::repaintAccountList() {
    accounts_->viewport()->update();
}

void MainWindow::showItem(AccountBase* item) {
    if (!item || item->isHidden())
        return;
    if (auto* account = dynamic_cast<Account*>(item)) {
        accounts_->addAccountRow(account);
        layoutWindow();
        return;
    }
    tree_->showItem(item);
}

void MainWindow::removeItem(AccountBase* item) {
    if (auto* account = dynamic_cast<Account*>(item))
        accounts_->removeAccountRow(account);
    else
        tree_->removeItem(item);
}

// ----- Commands ----------------------------------------------------------------------

void MainWindow::showAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::runCommand(const CommandRequest& request) {
    lastCommand_ = request;
    switch (request.command) {
    case Command::None:
        return;
    case Command::About:
        showAbout();
        return;
    case Command::Exit:
        close();
        return;
    case Command::Undo:
    case Command::Redo:
        undoStep(request.command == Command::Redo);
        return;
    case Command::RestoreBackup:
        restoreFromBackup();
        return;
    case Command::MoveToGroup:
    case Command::MoveAfter:
    case Command::MoveBefore:
        asStep(stepName(request.command), [&] { moveItem(request); });
        return;
    default:
        break;
    }
    bool confirmed = false;
    CommandRequest r = request;
    // From the Edit menu: the account selected in the list.
    if (r.command == Command::Reconcile && !r.item && !(r.item = accounts_->selectedAccount())) {
        prompter().inform(QStringLiteral("Reconcile"),
                          QStringLiteral("Select the account to reconcile in the account list."),
                          PromptIcon::Information);
        return;
    }
    const bool changed = asStep(stepName(request.command), [&] {
        confirmed = handler_ ? handler_(r) : performOperation(*this, r);
    });
    // A confirmed import is a save point even when no row was chosen.
    if (confirmed && !changed && request.command == Command::ImportTransactions)
        showChanges(ChangeReport{});
}

bool MainWindow::toggleCleared(const Transaction* t, ItemId account) {
    if (!t || !budget_.containsTransaction(t))
        return false;
    const ClearedState state = clearedStateOn(*t, account);
    // A reconciled side is settled: only an edit (after a question) unsettles it.
    if (state == ClearedState::Reconciled || (t->accountFrom != account && t->accountTo != account))
        return false;
    const bool clearing = state == ClearedState::Uncleared;
    // The bank books a split payment once: all its parts change together.
    std::vector<ClearedChange> changes;
    for (const Transaction* part : paymentOf(budget_, t))
        if (clearedStateOn(*part, account) != ClearedState::Reconciled)
            changes.push_back(ClearedChange{
                part, account, clearing ? ClearedState::Cleared : ClearedState::Uncleared});
    return asStep(clearing ? QStringLiteral("Mark cleared") : QStringLiteral("Mark uncleared"),
                  [&] { budget_.setClearedStates(changes); });
}

void MainWindow::undoStep(bool redo) {
    if (!(redo ? history_->redo() : history_->undo()))
        return;
    updateUndoActions();
    ChangeReport everything;
    everything.items = true;
    showChanges(everything, /*wholeBudget=*/true);
}

void MainWindow::restoreFromBackup() {
    if (waitForSaves_)
        waitForSaves_();
    RestoreDialog dialog(budget_, listBackups(budgetFile_), this);
    if (DialogDriver::exec(&dialog) != QDialog::Accepted)
        return;
    dialog.readAll();
    const BackupGeneration* chosen = dialog.chosen();
    if (!chosen)
        return;
    const QString question =
        QStringLiteral("Make %1, saved %2, the current budget? The budget as it is now is kept "
                       "as the newest backup.")
            .arg(chosen->name, QLocale().toString(chosen->modified, QLocale::ShortFormat));
    if (!prompter().askYesNo(QStringLiteral("Restore from backup"), question, PromptIcon::Question))
        return;
    restoreBudgetFrom(chosen->path);
}

bool MainWindow::restoreBudgetFrom(const QString& path) {
    Budget copy;
    if (loadBudgetCopy(path, copy) != 0) {
        prompter().inform(QStringLiteral("Restore from backup"),
                          QStringLiteral("The backup %1 could not be read.").arg(path),
                          PromptIcon::Exclamation);
        return false;
    }
    asStep(
        stepName(Command::RestoreBackup), [&] { budget_.replaceWith(copy); },
        /*wholeBudget=*/true);
    return true;
}

void MainWindow::runMenuChoice(const QAction* chosen, AccountBase* item, const Transaction* t) {
    if (!chosen)
        return;
    const Command command = actionCommand(chosen);
    if (command == Command::None)
        return;
    CommandRequest request{command, item, t, actionTarget(chosen)};
    if (command == Command::DeleteTransaction) {
        // The whole selection when the clicked row is part of it.
        request.transactions = transactions_->selectedTransactions();
        if (t && std::find(request.transactions.begin(), request.transactions.end(), t) ==
                     request.transactions.end())
            request.transactions = {t};
    }
    runCommand(request);
}

std::unique_ptr<QMenu> MainWindow::treeContextMenu(QTreeWidgetItem* row) {
    AccountBase* item = tree_->itemOf(row);
    if (!item || item->isReadOnly() || item->id() == kChargesEnvelopeId)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    auto add = [&](Command command, const QString& text = {}) {
        setActionCommand(menu->addAction(text.isEmpty() ? commandText(command) : text), command);
    };
    if (item->getType() == ItemType::Folder) {
        add(Command::FundFolder);
        add(Command::AddEnvelope);
        menu->addSeparator();
        add(Command::EditFolder);
        menu->addSeparator();
        add(Command::Hide, QStringLiteral("Hide folder...."));
    } else if (item->getType() == ItemType::Envelope) {
        add(Command::RecordExpense);
        add(Command::FundEnvelope);
        add(Command::MoveMoney);
        menu->addSeparator();
        add(Command::EditEnvelope);
        menu->addSeparator();
        add(Command::Hide, QStringLiteral("Hide envelope..."));
    } else {
        return nullptr;
    }
    addMoveEntries(menu.get(), row, item);
    return menu;
}

void MainWindow::addMoveEntries(QMenu* menu, QTreeWidgetItem* row, AccountBase* item) {
    std::vector<QMenu*> submenus;
    if (item->getType() == ItemType::Envelope) {
        auto group = std::make_unique<QMenu>(commandText(Command::MoveToGroup), menu);
        for (AccountBase* candidate : budget_.itemsOfType(ItemType::Folder)) {
            if (candidate == item->getParent() || candidate->isReadOnly() || candidate->isHidden())
                continue;
            setActionCommand(group->addAction(menuEntryText(candidate->getName())),
                             Command::MoveToGroup, candidate->id());
        }
        if (!group->isEmpty())
            submenus.push_back(group.release());
    }
    // The siblings in tree order: earlier ones are "before" targets, later ones "after".
    auto before = std::make_unique<QMenu>(commandText(Command::MoveBefore), menu);
    auto after = std::make_unique<QMenu>(commandText(Command::MoveAfter), menu);
    QTreeWidgetItem* parentRow = row->parent();
    const int count = parentRow ? parentRow->childCount() : tree_->topLevelItemCount();
    bool passed = false;
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem* sibling = parentRow ? parentRow->child(i) : tree_->topLevelItem(i);
        if (sibling == row) {
            passed = true;
            continue;
        }
        AccountBase* target = tree_->itemOf(sibling);
        if (!target || target->isHidden())
            continue;
        QMenu* sub = passed ? after.get() : before.get();
        setActionCommand(sub->addAction(menuEntryText(target->getName())),
                         passed ? Command::MoveAfter : Command::MoveBefore, target->id());
    }
    if (!before->isEmpty())
        submenus.push_back(before.release());
    if (!after->isEmpty())
        submenus.push_back(after.release());
    // The move submenus are set apart from the fixed entries.
    if (!submenus.empty())
        menu->addSeparator();
    for (QMenu* sub : submenus)
        menu->addMenu(sub);
}

std::unique_ptr<QMenu> MainWindow::accountContextMenu(Account* account) {
    if (!account)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    auto add = [&](Command command, const QString& text = {}) {
        setActionCommand(menu->addAction(text.isEmpty() ? commandText(command) : text), command);
    };
    if (account->isCCAccount()) {
        add(Command::PayCreditCard);
    } else {
        add(Command::Transfer);
        add(Command::Deposit);
    }
    menu->addSeparator();
    add(Command::ImportTransactions);
    add(Command::Reconcile);
    menu->addSeparator();
    add(Command::EditAccount);
    menu->addSeparator();
    add(Command::HideAccount, account->isCCAccount() ? QStringLiteral("Hide account")
                                                     : QStringLiteral("Hide account..."));
    return menu;
}

std::unique_ptr<QMenu> MainWindow::transactionContextMenu(const Transaction* t) {
    if (!t)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    setActionCommand(menu->addAction(commandText(Command::EditTransaction)),
                     Command::EditTransaction);
    if (t->type == TransactionType::Expense)
        setActionCommand(menu->addAction(commandText(Command::SplitTransaction)),
                         Command::SplitTransaction);
    QAction* remove = menu->addAction(commandText(Command::DeleteTransaction));
    remove->setShortcut(QKeySequence::Delete); // shown only: the list takes the key itself
    setActionCommand(remove, Command::DeleteTransaction);
    return menu;
}

void MainWindow::syncFolderOrder() {
    // The saved order of folders is the tree's top-level order.
    std::vector<AccountGroup*> order;
    for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
        if (auto* folder = dynamic_cast<AccountGroup*>(tree_->itemOf(tree_->topLevelItem(i))))
            order.push_back(folder);
    }
    budget_.folderOrder() = std::move(order);
}

bool MainWindow::moveItem(const CommandRequest& r) {
    AccountBase* item = r.item;
    AccountBase* target = budget_.findItem(r.target);
    QTreeWidgetItem* row = tree_->findRow(item);
    QTreeWidgetItem* targetRow = tree_->findRow(target);
    if (!item || !target || !row || item == target)
        return false;
    AccountGroup* parent = item->getParent();

    if (r.command == Command::MoveToGroup) {
        auto* folder = dynamic_cast<AccountGroup*>(target);
        if (!folder || !parent || folder == parent || folder->isReadOnly() || !targetRow)
            return false;
        if (!parent->removeChild(item))
            return false;
        folder->addChild(item);
        tree_->placeRow(row, targetRow, -1);
        return true;
    }

    if (!targetRow || targetRow->parent() != row->parent() || target->getParent() != parent)
        return false;
    QTreeWidgetItem* parentRow = row->parent();
    auto indexOf = [&](QTreeWidgetItem* r) {
        return parentRow ? parentRow->indexOfChild(r) : tree_->indexOfTopLevelItem(r);
    };
    auto rowAt = [&](int i) { return parentRow ? parentRow->child(i) : tree_->topLevelItem(i); };

    AccountBase* after = nullptr; // the model sibling the item goes behind (none: first)
    if (r.command == Command::MoveAfter) {
        after = target;
    } else if (r.command == Command::MoveBefore) {
        const int i = indexOf(targetRow);
        QTreeWidgetItem* previous = i > 0 ? rowAt(i - 1) : nullptr;
        if (previous == row)
            return false; // already right before the target
        after = tree_->itemOf(previous);
    } else {
        return false;
    }

    if (parent) {
        if (!parent->removeChild(item))
            return false;
        parent->insertChildAfter(item, after);
    }
    // Take the row out first so the index of the row it goes behind is final.
    const bool expanded = row->isExpanded();
    const bool current = tree_->currentItem() == row;
    if (parentRow)
        parentRow->removeChild(row);
    else
        tree_->takeTopLevelItem(tree_->indexOfTopLevelItem(row));
    QTreeWidgetItem* afterRow = tree_->findRow(after);
    const int index = afterRow ? indexOf(afterRow) + 1 : 0;
    if (parentRow)
        parentRow->insertChild(index, row);
    else
        tree_->insertTopLevelItem(index, row);
    row->setExpanded(expanded);
    if (current)
        tree_->setCurrentItem(row);
    tree_->invalidateValues();
    if (!parent)
        syncFolderOrder();
    return true;
}
