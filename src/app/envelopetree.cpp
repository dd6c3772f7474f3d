#include "app/envelopetree.h"

#include "app/actionglyphs.h"
#include "app/columnwidths.h"
#include "app/commands.h"
#include "model/budget.h"
#include "model/clock.h"
#include "platform/screen.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>

namespace {
QString currency(Amount value) {
    return formatAmount(value, true);
}

int monthOf(const DateTime& dt) {
    return dt.year * 12 + dt.month;
}

// Room around a money text: the painter keeps 4 pixels on each side, the grid line 2 more.
constexpr int kCellPadding = 10;
} // namespace

TrackingTip::TrackingTip(QWidget* owner) : QLabel(owner, Qt::ToolTip) {
    setTextFormat(Qt::PlainText);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setPalette(QToolTip::palette());
    setMargin(3);
    setFrameStyle(QFrame::Box | QFrame::Plain);
}

void TrackingTip::showAt(const QPoint& globalCursor, const QString& text) {
    if (text != this->text()) {
        setText(text);
        adjustSize();
    }
    if (globalCursor != lastCursor_) {
        lastCursor_ = globalCursor;
        move(globalCursor + QPoint(10, -20));
    }
    if (!isVisible())
        show();
}

void TrackingTip::hideTip() {
    if (isVisible())
        hide();
}

// ---------------------------------------------------------------------------------------

EnvelopeTree::EnvelopeTree(Budget& budget, QWidget* parent)
    : QTreeWidget(parent), budget_(budget), tip_(new TrackingTip(this)),
      widths_(new ColumnWidths(header())) {
    setColumnCount(6);
    setHeaderLabels({QStringLiteral("Envelope / Folder"), QStringLiteral("Budgeted"),
                     QStringLiteral("Actual"), QStringLiteral("Difference"),
                     QStringLiteral("Balance"), QStringLiteral("Information")});
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    setAcceptDrops(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMouseTracking(true);
    setUniformRowHeights(true);
    applyListFont(this);
    connect(header(), &QHeaderView::sectionResized, this, [this] { viewport()->update(); });
    connect(this, &QTreeWidget::itemExpanded, this, [this] { viewport()->update(); });
    connect(this, &QTreeWidget::itemCollapsed, this, [this] { viewport()->update(); });
    connect(widths_, &ColumnWidths::handedBack, this, &EnvelopeTree::computeColumnWidths);
    // A divider the user dragged: the last column takes up the difference.
    connect(header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column < 5)
            computeColumnWidths();
    });
    // The values are this month's: a month that begins while the program runs is noticed
    // within a minute, idle or not.
    auto* monthTimer = new QTimer(this);
    monthTimer->setInterval(kMonthCheckMs);
    connect(monthTimer, &QTimer::timeout, this, &EnvelopeTree::followClock);
    monthTimer->start();
    computeColumnWidths();
}

int EnvelopeTree::widestAmountText() const {
    const QFontMetrics fm(font());
    if (widthFont_ != font() || textWidths_.size() > 100000) {
        textWidths_.clear();
        widthFont_ = font();
    }
    // The locale's text of a four-digit spending, so an empty budget is sized as a real one.
    int widest = fm.horizontalAdvance(currency(-999999));
    std::vector<const QTreeWidgetItem*> stack;
    for (int i = 0; i < topLevelItemCount(); ++i)
        stack.push_back(topLevelItem(i));
    while (!stack.empty()) {
        const QTreeWidgetItem* row = stack.back();
        stack.pop_back();
        for (int i = 0; i < row->childCount(); ++i)
            stack.push_back(row->child(i));
        if (!itemOf(row))
            continue;
        for (int c = 1; c <= 4; ++c) {
            const QString text = cellText(row, c);
            auto known = textWidths_.constFind(text);
            if (known == textWidths_.cend())
                known = textWidths_.insert(text, fm.horizontalAdvance(text));
            widest = qMax(widest, *known);
        }
    }
    return widest;
}

std::pair<int, int> EnvelopeTree::widestLabelAndInformation(int glyphs) const {
    const QFontMetrics fm(font());
    int label = 0;
    int information = 0;
    std::vector<std::pair<const QTreeWidgetItem*, int>> stack;
    for (int i = 0; i < topLevelItemCount(); ++i)
        stack.push_back({topLevelItem(i), 1});
    while (!stack.empty()) {
        const auto [row, depth] = stack.back();
        stack.pop_back();
        for (int i = 0; i < row->childCount(); ++i)
            stack.push_back({row->child(i), depth + 1});
        label = qMax(label, depth * indentation() + fm.horizontalAdvance(cellText(row, 0)) + 8 +
                                (itemOf(row) ? glyphs : 0));
        information = qMax(information, fm.horizontalAdvance(cellText(row, 5)) + kCellPadding);
    }
    return {label, information};
}

void EnvelopeTree::computeColumnWidths() {
    const QFontMetrics fm(font());
    // The label column holds the widest glyph row: three glyphs with their gaps.
    int glyphs = 20;
    for (const QString& g : {ActionGlyphs::NewEnvelope, ActionGlyphs::Receipt})
        glyphs +=
            qMax(ActionGlyphs::width(font(), g), ActionGlyphs::width(font(), ActionGlyphs::Dollar));
    glyphs += ActionGlyphs::width(font(), ActionGlyphs::Pencil);
    const int first =
        qMax(fm.horizontalAdvance(QStringLiteral("INDENT__BIG FOLDER NAME__ICONS")),
             fm.horizontalAdvance(QStringLiteral("INDENT__BIG FOLDER NAME__")) + glyphs);
    int money =
        qMax(fm.horizontalAdvance(QStringLiteral("DIFFERENCE")), widestAmountText() + kCellPadding);
    for (int c = 1; c <= 4; ++c)
        money = qMax(money, header()->sectionSizeHint(c));
    // Where the view is too narrow for everything, the information column keeps room for its
    // longest text before the label column takes more than its own longest label needs.
    const auto [labels, information] = widestLabelAndInformation(glyphs);
    const int forLabels = viewport()->width() - 4 * money - information;
    const int labelColumn = forLabels >= first ? first : qMax(qMin(first, labels), forLabels);
    widths_->apply(0, labelColumn);
    for (int c = 1; c <= 4; ++c)
        widths_->apply(c, money);
    int used = 0;
    for (int c = 0; c <= 4; ++c)
        used += header()->sectionSize(c);
    // The last column takes what the others leave.
    widths_->apply(5, qMax(viewport()->width() - used, money));
}

bool EnvelopeTree::followClock() {
    if (valuesMonth_ == 0 || monthOf(Clock::now()) == valuesMonth_)
        return false;
    invalidateValues();
    viewport()->update();
    emit monthChanged();
    return true;
}

QTreeWidgetItem* EnvelopeTree::newRow(const AccountBase* item) const {
    auto* row = new QTreeWidgetItem;
    if (item) {
        row->setText(0, item->getName());
        row->setData(0, ItemIdRole, uint(item->id()));
    } else {
        row->setText(0, QStringLiteral("Add folder"));
        row->setData(0, ItemIdRole, uint(kNoId));
    }
    return row;
}

void EnvelopeTree::addChildrenRows(QTreeWidgetItem* row, const AccountBase* item) {
    const auto* folder = dynamic_cast<const AccountGroup*>(item);
    if (!folder)
        return;
    for (AccountBase* child : folder->children()) {
        if (child->isHidden())
            continue;
        QTreeWidgetItem* childRow = newRow(child);
        row->addChild(childRow);
        addChildrenRows(childRow, child);
    }
    row->setExpanded(true);
}

void EnvelopeTree::rebuild() {
    clear();
    invalidateValues();
    for (AccountGroup* folder : budget_.folderOrder()) {
        if (folder->isHidden())
            continue;
        QTreeWidgetItem* row = newRow(folder);
        addTopLevelItem(row);
        addChildrenRows(row, folder);
    }
    addTopLevelItem(newRow(nullptr));
    setCurrentItem(topLevelItem(0));
}

QTreeWidgetItem* EnvelopeTree::addFolderRow() const {
    const int n = topLevelItemCount();
    QTreeWidgetItem* last = n ? topLevelItem(n - 1) : nullptr;
    return last && rowKind(last) == TreeRowKind::AddFolder ? last : nullptr;
}

QTreeWidgetItem* EnvelopeTree::showItem(AccountBase* item) {
    if (!item || item->isHidden() || item->getType() == ItemType::Account)
        return nullptr;
    if (QTreeWidgetItem* existing = findRow(item))
        return existing;
    AccountGroup* parent = item->getParent();
    QTreeWidgetItem* row = newRow(item);
    if (parent) {
        QTreeWidgetItem* parentRow = findRow(parent);
        if (!parentRow) {
            delete row;
            return nullptr;
        }
        // Place it after the shown siblings that precede it in the folder's order.
        int index = 0;
        for (AccountBase* sibling : parent->children()) {
            if (sibling == item)
                break;
            QTreeWidgetItem* r = findRow(sibling);
            if (r && r->parent() == parentRow)
                ++index;
        }
        parentRow->insertChild(index, row);
        parentRow->setExpanded(true);
    } else {
        int index = 0;
        bool inOrder = false;
        for (AccountGroup* folder : budget_.folderOrder()) {
            if (folder == item) {
                inOrder = true;
                break;
            }
            QTreeWidgetItem* r = findRow(folder);
            if (r && !r->parent())
                ++index;
        }
        const int beforeAddFolder = topLevelItemCount() - (addFolderRow() ? 1 : 0);
        insertTopLevelItem(inOrder ? qMin(index, beforeAddFolder) : beforeAddFolder, row);
    }
    addChildrenRows(row, item);
    invalidateValues();
    return row;
}

void EnvelopeTree::removeItem(const AccountBase* item) {
    if (QTreeWidgetItem* row = findRow(item)) {
        delete row;
        invalidateValues();
    }
}

void EnvelopeTree::placeRow(QTreeWidgetItem* row, QTreeWidgetItem* parentRow, int index) {
    const bool expanded = row->isExpanded();
    const bool wasCurrent = currentItem() == row;
    QTreeWidgetItem* oldParent = row->parent();
    if (oldParent)
        oldParent->removeChild(row);
    else
        takeTopLevelItem(indexOfTopLevelItem(row));
    if (parentRow) {
        if (index < 0 || index > parentRow->childCount())
            index = parentRow->childCount();
        parentRow->insertChild(index, row);
        parentRow->setExpanded(true);
    } else {
        const int last = topLevelItemCount() - (addFolderRow() ? 1 : 0);
        if (index < 0 || index > last)
            index = last;
        insertTopLevelItem(index, row);
    }
    row->setExpanded(expanded);
    if (wasCurrent)
        setCurrentItem(row);
    invalidateValues();
}

QTreeWidgetItem* EnvelopeTree::findRow(const AccountBase* item) const {
    if (!item)
        return nullptr;
    // Depth first from the first top-level row, children before following siblings.
    std::vector<QTreeWidgetItem*> stack;
    for (int i = topLevelItemCount() - 1; i >= 0; --i)
        stack.push_back(topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* row = stack.back();
        stack.pop_back();
        if (row->data(0, ItemIdRole).toUInt() == item->id())
            return row;
        for (int i = row->childCount() - 1; i >= 0; --i)
            stack.push_back(row->child(i));
    }
    return nullptr;
}

AccountBase* EnvelopeTree::itemOf(const QTreeWidgetItem* row) const {
    if (!row)
        return nullptr;
    const ItemId id = row->data(0, ItemIdRole).toUInt();
    return id == kNoId ? nullptr : budget_.findItem(id);
}

TreeRowKind EnvelopeTree::rowKind(const QTreeWidgetItem* row) const {
    if (!row)
        return TreeRowKind::None;
    if (row->data(0, ItemIdRole).toUInt() == kNoId)
        return TreeRowKind::AddFolder;
    const AccountBase* item = itemOf(row);
    if (!item)
        return TreeRowKind::None;
    return item->getType() == ItemType::Folder ? TreeRowKind::Folder : TreeRowKind::Envelope;
}

AccountBase* EnvelopeTree::selectedItem() const {
    return itemOf(currentItem());
}

void EnvelopeTree::refreshLabels() {
    std::vector<QTreeWidgetItem*> stack;
    for (int i = 0; i < topLevelItemCount(); ++i)
        stack.push_back(topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* row = stack.back();
        stack.pop_back();
        if (const AccountBase* item = itemOf(row))
            row->setText(0, item->getName());
        for (int i = 0; i < row->childCount(); ++i)
            stack.push_back(row->child(i));
    }
    invalidateValues();
    viewport()->update();
}

void EnvelopeTree::invalidateValues() {
    flows_.reset();
    valueCache_.clear();
    valuesMonth_ = 0;
}

const TreeRowValues& EnvelopeTree::values(const AccountBase& item) const {
    auto found = valueCache_.find(item.id());
    if (found != valueCache_.end())
        return found->second;
    // One pass over the history per refresh gives every row's flow of this month.
    if (!flows_) {
        valuesMonth_ = monthOf(Clock::now());
        flows_ = MonthFlows::compute(budget_);
    }
    return valueCache_.emplace(item.id(), computeTreeRowValues(budget_, item, *flows_))
        .first->second;
}

int EnvelopeTree::columnEnd(int column) const {
    return header()->sectionViewportPosition(column) + header()->sectionSize(column);
}

std::vector<EnvelopeTree::Glyph> EnvelopeTree::glyphLayout(const AccountBase* item) const {
    std::vector<Glyph> glyphs;
    if (!item || item->isReadOnly())
        return glyphs;
    std::vector<std::pair<TreeZone, QString>> order; // right to left
    if (item->getType() == ItemType::Envelope) {
        order = {{TreeZone::EditEnvelope, ActionGlyphs::Pencil},
                 {TreeZone::FundEnvelope, ActionGlyphs::Dollar}};
        if (item->id() != kChargesEnvelopeId)
            order.push_back({TreeZone::RecordExpense, ActionGlyphs::Receipt});
    } else if (item->getType() == ItemType::Folder) {
        order = {{TreeZone::EditFolder, ActionGlyphs::Pencil},
                 {TreeZone::FundFolder, ActionGlyphs::Dollar},
                 {TreeZone::AddEnvelope, ActionGlyphs::NewEnvelope}};
    }
    int right = columnEnd(0) - 5;
    for (const auto& [zone, text] : order) {
        const int width = ActionGlyphs::width(font(), text);
        glyphs.push_back(Glyph{zone, text, right - width, right});
        right = right - width - 5;
    }
    return glyphs;
}

QRect EnvelopeTree::labelRect(const QTreeWidgetItem* row, const std::vector<Glyph>& glyphs) const {
    const QRect cell = visualItemRect(row);
    const QRect first = visualRect(indexFromItem(const_cast<QTreeWidgetItem*>(row), 0));
    int right = columnEnd(0);
    for (const Glyph& g : glyphs)
        right = qMin(right, g.left);
    return QRect(QPoint(first.left(), cell.top()), QPoint(right - 1, cell.bottom()));
}

TreeHit EnvelopeTree::hitTestZone(const QPoint& pos) const {
    TreeHit hit;
    QTreeWidgetItem* row = itemAt(pos);
    if (!row)
        return hit;
    hit.row = row;
    AccountBase* item = itemOf(row);
    if (item && item->isReadOnly())
        return hit;
    const TreeRowKind kind = rowKind(row);
    const QRect rowRect = visualItemRect(row);
    auto inside = [&](int left, int right) {
        return pos.x() >= left && pos.x() < right && pos.y() >= rowRect.top() &&
               pos.y() <= rowRect.bottom();
    };
    if (kind == TreeRowKind::AddFolder) {
        const QRect label = labelRect(row, {});
        if (inside(label.left(), label.right() + 1))
            hit.zone = TreeZone::AddFolder;
        return hit;
    }
    std::vector<Glyph> glyphs = glyphLayout(item);
    std::sort(glyphs.begin(), glyphs.end(),
              [](const Glyph& a, const Glyph& b) { return int(a.zone) < int(b.zone); });
    for (const Glyph& g : glyphs) {
        if (inside(g.left, g.right)) {
            hit.item = item;
            hit.zone = g.zone;
            return hit;
        }
    }
    return hit;
}

QRect EnvelopeTree::zoneRect(const QTreeWidgetItem* row, TreeZone zone) const {
    if (!row)
        return {};
    const QRect rowRect = visualItemRect(row);
    if (zone == TreeZone::AddFolder) {
        return rowKind(row) == TreeRowKind::AddFolder ? labelRect(row, {}) : QRect();
    }
    for (const Glyph& g : glyphLayout(itemOf(row))) {
        if (g.zone == zone)
            return QRect(g.left, rowRect.top(), g.right - g.left, rowRect.height());
    }
    return {};
}

QItemSelectionModel::SelectionFlags EnvelopeTree::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    // Once a row is selected one row stays selected: a click beside every row or a Ctrl+click
    // on the selected row would otherwise leave none highlighted while the envelope filter
    // still follows the current row.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (flags == QItemSelectionModel::NoUpdate)
        return flags;
    return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

void EnvelopeTree::mouseMoveEvent(QMouseEvent* event) {
    QTreeWidget::mouseMoveEvent(event);
    const TreeHit hit = hitTestZone(event->position().toPoint());
    if (hit.zone != TreeZone::None) {
        viewport()->setCursor(Qt::PointingHandCursor);
        const QString name = hit.item ? hit.item->getName() : QString();
        tip_->showAt(event->globalPosition().toPoint(), treeZoneTooltip(hit.zone, name));
    } else {
        tip_->hideTip();
        viewport()->setCursor(Qt::ArrowCursor);
    }
}

void EnvelopeTree::mousePressEvent(QMouseEvent* event) {
    tip_->hideTip();
    pressHit_ =
        event->button() == Qt::LeftButton ? hitTestZone(event->position().toPoint()) : TreeHit{};
    QTreeWidget::mousePressEvent(event);
}

void EnvelopeTree::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || pressHit_.zone == TreeZone::None)
        return;
    const TreeHit hit = hitTestZone(event->position().toPoint());
    const TreeHit pressed = pressHit_;
    pressHit_ = {};
    if (hit.zone == pressed.zone && hit.row == pressed.row)
        emit zoneClicked(hit.zone, hit.item);
}

void EnvelopeTree::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        openMenuAtCurrentRow();
        return;
    }
    QTreeWidgetItem* row = itemAt(event->pos());
    if (!row)
        return;
    setCurrentItem(row);
    emit rowContextMenu(row, event->globalPos());
}

void EnvelopeTree::keyPressEvent(QKeyEvent* event) {
    if (isContextMenuKey(event)) {
        openMenuAtCurrentRow();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void EnvelopeTree::openMenuAtCurrentRow() {
    QTreeWidgetItem* row = currentItem();
    if (!row)
        return;
    scrollToItem(row);
    const QRect label = labelRect(row, glyphLayout(itemOf(row)));
    emit rowContextMenu(row, viewport()->mapToGlobal(label.bottomLeft()));
}

bool EnvelopeTree::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave)
        tip_->hideTip();
    // A cell's whole text, which the column may show cut short with "...", as a tooltip
    // (the glyphs have their own tracking tip).
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<const QHelpEvent*>(event);
        const QTreeWidgetItem* row = itemAt(help->pos());
        const int column = header()->logicalIndexAt(help->pos().x());
        const QString text = row && column >= 0 ? cellText(row, column) : QString();
        if (!text.isEmpty() && hitTestZone(help->pos()).zone == TreeZone::None) {
            QToolTip::showText(help->globalPos(), text, viewport());
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // The last column takes what the others leave of the header, at every size.
    if (event->type() == QEvent::Resize)
        computeColumnWidths();
    return QTreeWidget::viewportEvent(event);
}
