#include "app/transactionlist.h"

#include "app/commands.h"
#include "model/budget.h"
#include "model/clock.h"
#include "platform/screen.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <numeric>
#include <set>
#include <unordered_map>

TransactionList::TransactionList(const Budget& budget, QWidget* parent)
    : QTableView(parent), model_(new TransactionTableModel(budget, this)),
      widths_(new ColumnWidths(horizontalHeader())) {
    setModel(model_);
    model_->setBaseColour(palette().color(QPalette::Base));
    setSelectionMode(QAbstractItemView::ExtendedSelection); // several rows can be deleted at once
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab moves on to the next pane
    verticalHeader()->hide();
    horizontalHeader()->setHighlightSections(false);
    // Newest first until the user clicks a header; clicking it again reverses the order.
    horizontalHeader()->setSortIndicator(DateColumn, Qt::DescendingOrder);
    setSortingEnabled(true);
    applyListFont(this);
    // Uniform rows: the view never has to measure 100,000 of them.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    setColumnHidden(BalanceColumn, true);
    setColumnHidden(ClearedBalanceColumn, true);
    // The cleared mark sits beside the amounts, before the balances it explains.
    horizontalHeader()->moveSection(horizontalHeader()->visualIndex(ClearedColumn),
                                    horizontalHeader()->visualIndex(BalanceColumn));
    connect(widths_, &ColumnWidths::handedBack, this, &TransactionList::fitColumns);
}

void TransactionList::showTransactions(const TransactionFilter& filter) {
    filter_ = filter;
    setUpdatesEnabled(false);
    std::vector<TransactionRow> rows =
        selectTransactions(model_->budget(), filter, model_->texts());
    const ItemId side = filter.byAccount && filter.account ? filter.account->id() : kNoId;
    model_->setRows(
        std::move(rows), side,
        selectProjected(model_->budget(), filter, model_->texts(), toQDate(Clock::now())));
    setColumnHidden(BalanceColumn, side == kNoId);
    setColumnHidden(ClearedBalanceColumn, side == kNoId);
    // The model falls back to newest first when the balance it was sorted by goes away.
    if (horizontalHeader()->sortIndicatorSection() != model_->sortColumn())
        horizontalHeader()->setSortIndicator(model_->sortColumn(), model_->sortOrder());
    fitColumns();
    setUpdatesEnabled(true);
}

void TransactionList::clearRows() {
    model_->setRows({}, kNoId);
}

void TransactionList::fitColumns() {
    QHeaderView* header = horizontalHeader();
    for (int c = 0; c < TransactionColumnCount; ++c) {
        if (isColumnHidden(c))
            continue;
        int width = header->sectionSizeHint(c);
        // A long text in any row widens its column; only the longest few are measured.
        for (int row : model_->longestRows(c, 8))
            width = qMax(width, sizeHintForIndex(model_->index(row, c)).width() + 1);
        widths_->apply(c, width);
    }
}

void TransactionList::updateRow(const Transaction* t) {
    if (model_->sideAccount() == kNoId) {
        model_->rowChanged(t);
        return;
    }
    // An edited amount moves the running balance of every later row: build the rows again,
    // keeping the edited one current.
    const int scroll = verticalScrollBar()->value();
    showTransactions(filter_);
    verticalScrollBar()->setValue(scroll);
    const int row = model_->rowOf(t);
    if (row >= 0)
        selectRow(row);
}

void TransactionList::updateRows(const std::vector<const Transaction*>& ts) {
    if (ts.size() == 1) {
        updateRow(ts.front());
        return;
    }
    if (model_->sideAccount() == kNoId) {
        if (model_->rowCount() > 0)
            emit model_->dataChanged(
                model_->index(0, 0),
                model_->index(model_->rowCount() - 1, TransactionColumnCount - 1));
        return;
    }
    const int scroll = verticalScrollBar()->value();
    showTransactions(filter_);
    verticalScrollBar()->setValue(scroll);
}

void TransactionList::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    pressedCleared_ =
        event->button() == Qt::LeftButton && index.isValid() && index.column() == ClearedColumn
            ? transactionAt(index.row())
            : nullptr;
    QTableView::mousePressEvent(event);
    // A click on a split's "Split (n)" shows or hides its parts.
    if (event->button() == Qt::LeftButton && index.isValid() && index.column() == EnvelopeColumn &&
        event->modifiers() == Qt::NoModifier)
        model_->toggleSplit(index.row());
}

void TransactionList::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const Transaction* pressed = pressedCleared_;
    pressedCleared_ = nullptr;
    const QModelIndex index = indexAt(event->position().toPoint());
    // Press and release on the same cleared cell, as a button click.
    if (!pressed || event->button() != Qt::LeftButton || !index.isValid() ||
        index.column() != ClearedColumn || transactionAt(index.row()) != pressed)
        return;
    emit clearedToggleRequested(pressed, model_->clearedSideOf(*pressed));
}

void TransactionList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (const Transaction* t = index.isValid() ? transactionAt(index.row()) : nullptr)
        emit editRequested(t);
    else if (index.isValid())
        openProjected(index.row());
}

bool TransactionList::openProjected(int row) {
    const ProjectedEntry* p = model_->projectedAt(row);
    if (!p)
        return false;
    // Only a schedule's next occurrence can be entered; a later one opens its schedule.
    emit scheduleCommandRequested(p->entry.next ? Command::EditThenEnterScheduled
                                                : Command::EditSchedule,
                                  quint32(p->entry.schedule));
    return true;
}

std::unique_ptr<QMenu> TransactionList::scheduleMenu(int row) const {
    const ProjectedEntry* p = model_->projectedAt(row);
    if (!p)
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    for (Command c : {Command::EnterScheduled, Command::SkipScheduled,
                      Command::EditThenEnterScheduled, Command::EditSchedule}) {
        QAction* action = menu->addAction(commandText(c));
        setActionCommand(action, c, ItemId(p->entry.schedule));
        action->setEnabled(c == Command::EditSchedule || p->entry.next);
    }
    return menu;
}

void TransactionList::runScheduleMenu(int row, const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu = scheduleMenu(row);
    if (const QAction* chosen = menu ? menu->exec(globalPos) : nullptr)
        emit scheduleCommandRequested(actionCommand(chosen), quint32(actionTarget(chosen)));
}

void TransactionList::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        openMenuAtCurrentRow();
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && model_->projectedAt(index.row())) {
        selectRow(index.row());
        runScheduleMenu(index.row(), event->globalPos());
        return;
    }
    const Transaction* t = index.isValid() ? transactionAt(index.row()) : nullptr;
    if (!t)
        return;
    // A click inside a selection of several rows keeps it, so they can be deleted together.
    if (!selectionModel()->isRowSelected(index.row(), QModelIndex()))
        selectRow(index.row());
    emit transactionContextMenu(t, event->globalPos());
}

void TransactionList::keyPressEvent(QKeyEvent* event) {
    if (isContextMenuKey(event)) {
        openMenuAtCurrentRow();
        return;
    }
    if (event->key() == Qt::Key_Delete && !selectedTransactions().empty()) {
        emit deleteRequested();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && currentIndex().isValid() && openProjected(currentIndex().row()))
        return;
    // Space marks the current row cleared or uncleared, as a click in its cleared cell does.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (const Transaction* t = transactionAt(currentIndex().row())) {
            emit clearedToggleRequested(t, model_->clearedSideOf(*t));
            return;
        }
    }
    // Right or "+" shows a split's parts, Left or "-" hides them (from a part too).
    const int key = event->key();
    const bool opening = key == Qt::Key_Right || key == Qt::Key_Plus;
    const bool closing = key == Qt::Key_Left || key == Qt::Key_Minus;
    if ((opening || closing) && currentIndex().isValid()) {
        int row = currentIndex().row();
        const TransactionRow* at = model_->rowAt(row);
        if (at && at->part && closing) {
            while (row > 0 && !model_->rowAt(row)->isHead())
                --row;
            at = model_->rowAt(row);
        }
        if (at && at->isHead()) {
            if (model_->isOpen(at->split) != opening)
                model_->toggleSplit(row);
            selectRow(row);
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void TransactionList::openMenuAtCurrentRow() {
    const QModelIndex current = currentIndex();
    const Transaction* t = current.isValid() ? transactionAt(current.row()) : nullptr;
    const bool projected = current.isValid() && model_->projectedAt(current.row());
    if (!t && !projected)
        return;
    scrollTo(current);
    const QRect cell = visualRect(model_->index(current.row(), DateColumn));
    if (projected) {
        runScheduleMenu(current.row(), viewport()->mapToGlobal(cell.bottomLeft()));
        return;
    }
    emit transactionContextMenu(t, viewport()->mapToGlobal(cell.bottomLeft()));
}

std::vector<const Transaction*> TransactionList::selectedTransactions() const {
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<const Transaction*> result;
    for (const QModelIndex& row : rows) {
        if (const Transaction* t = transactionAt(row.row()))
            result.push_back(t);
    }
    return result;
}

// ---------------------------------------------------------------------------------------

FilterBar::FilterBar(QWidget* parent)
    : QWidget(parent), showList_(new QCheckBox(QStringLiteral("Show transaction list"), this)),
      byEnvelope_(
          new QCheckBox(QStringLiteral("Only show transactions in the selected envelope"), this)),
      byAccount_(
          new QCheckBox(QStringLiteral("Only show transactions in the selected account"), this)),
      searchLabel_(new QLabel(QStringLiteral("Search transactions:"), this)),
      search_(new QLineEdit(this)), searchButton_(new QPushButton(QStringLiteral("Search"), this)) {
    showList_->setChecked(true);
    search_->setMaxLength(1023);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(showList_);
    layout->addWidget(byEnvelope_);
    layout->addWidget(byAccount_);
    layout->addSpacing(12);
    layout->addWidget(searchLabel_);
    layout->addWidget(search_, 1);
    layout->addWidget(searchButton_);
    for (QCheckBox* box : {showList_, byEnvelope_, byAccount_})
        connect(box, &QCheckBox::clicked, this, &FilterBar::changed);
    // Typing searches once it pauses; Enter and the button search at once.
    searchTimer_ = new QTimer(this);
    searchTimer_->setSingleShot(true);
    searchTimer_->setInterval(kSearchDelayMs);
    connect(search_, &QLineEdit::textEdited, searchTimer_, qOverload<>(&QTimer::start));
    connect(searchTimer_, &QTimer::timeout, this, &FilterBar::searchChanged);
    const auto searchNow = [this] {
        searchTimer_->stop();
        emit changed();
    };
    connect(searchButton_, &QPushButton::clicked, this, searchNow);
    connect(search_, &QLineEdit::returnPressed, this, searchNow);
    setFixedHeight(sizeHint().height());
}
