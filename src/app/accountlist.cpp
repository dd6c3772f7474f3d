#include "app/accountlist.h"

#include "app/actionglyphs.h"
#include "app/commands.h"
#include "app/envelopetree.h"
#include "model/budget.h"
#include "platform/screen.h"

#include <QApplication>
#include <QFontInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {
const QString& kEdit = ActionGlyphs::Pencil;
const QString& kDeposit = ActionGlyphs::Receipt;
const QString& kTransfer = ActionGlyphs::Transfer;
const QString& kPay = ActionGlyphs::Dollar;
constexpr int kIconInset = 5;

// The account's kind glyph (bank or card) before its name, as tall as the row allows: at
// the text's size the colour glyph is a smudge of a dozen pixels.
QFont kindGlyphFont(const QFont& listFont, int rowHeight) {
    QFont glyphFont = listFont;
    glyphFont.setPixelSize(qMax(QFontInfo(listFont).pixelSize(), rowHeight - 4));
    return glyphFont;
}

// "glyph name" split at its first space.
std::pair<QString, QString> glyphAndName(const QString& text) {
    const qsizetype space = text.indexOf(u' ');
    if (space < 0)
        return {QString(), text};
    return {text.left(space), text.mid(space + 1)};
}

// Paints the icons of the "Actions" cell in place of its placeholder text, and the name cell
// with a glyph large enough to tell a card from a bank.
class ActionCellDelegate : public QStyledItemDelegate {
public:
    explicit ActionCellDelegate(AccountList* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() == AccountList::NameColumn) {
            const auto [glyph, name] = glyphAndName(index.data().toString());
            const int row = list_->verticalHeader()->defaultSectionSize();
            const QFont glyphFont = kindGlyphFont(list_->font(), row);
            size.rwidth() += QFontMetrics(glyphFont).horizontalAdvance(glyph) -
                             QFontMetrics(list_->font()).horizontalAdvance(glyph);
        }
        return size;
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (index.column() == AccountList::NameColumn) {
            paintName(p, option, index);
            return;
        }
        if (index.column() != AccountList::ActionsColumn) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        const Account* account = list_->accountAt(index.row());
        const bool selected = list_->selectionModel()->isSelected(index);
        const QPalette& pal = list_->palette();
        p->save();
        p->fillRect(option.rect,
                    selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
        const QColor colour =
            selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Link);
        auto draw = [&](int action, const QString& icon) {
            const auto [left, right] = list_->actionExtent(action);
            ActionGlyphs::draw(p,
                               QRect(left, option.rect.top(), right - left, option.rect.height()),
                               icon, colour, list_->font());
        };
        draw(ActionEdit, kEdit);
        if (account && account->isCCAccount()) {
            draw(ActionPayCard, kPay);
        } else {
            draw(ActionDeposit, kDeposit);
            draw(ActionTransfer, kTransfer);
        }
        p->restore();
    }

private:
    void paintName(QPainter* p, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const auto [glyph, name] = glyphAndName(opt.text);
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, p, widget);
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        const QFont glyphFont = kindGlyphFont(list_->font(), option.rect.height());
        const int glyphWidth = QFontMetrics(glyphFont).horizontalAdvance(glyph);
        const bool selected = opt.state & QStyle::State_Selected;
        p->save();
        p->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p->setFont(glyphFont);
        p->drawText(QRect(text.left(), option.rect.top(), glyphWidth, option.rect.height()),
                    Qt::AlignCenter, glyph);
        p->setFont(list_->font());
        const int spaceWidth = QFontMetrics(list_->font()).horizontalAdvance(u' ');
        const QRect nameRect(text.left() + glyphWidth + spaceWidth, option.rect.top(),
                             text.right() - text.left() - glyphWidth - spaceWidth,
                             option.rect.height());
        p->drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(list_->font()).elidedText(name, Qt::ElideRight, nameRect.width()));
        p->restore();
    }

    AccountList* list_;
};
} // namespace

AccountList::AccountList(Budget& budget, QWidget* parent)
    : QTableWidget(0, 3, parent), budget_(budget), tip_(new TrackingTip(this)) {
    setHorizontalHeaderLabels(
        {QStringLiteral("Account"), QStringLiteral("Balance"), QStringLiteral("Actions")});
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setTabKeyNavigation(false); // Tab moves on to the next pane
    setMouseTracking(true);
    setItemDelegate(new ActionCellDelegate(this));
    applyListFont(this);
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 6);
    // The selected row keeps its highlight when another pane has the focus.
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight,
                 pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                 pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
}

QString AccountList::reconciledTip(const Account& account) {
    if (!account.reconciledDate().isSet())
        return QStringLiteral("Not reconciled yet");
    return QStringLiteral("Last reconciled with the statement of %1 at %2")
        .arg(formatDate(account.reconciledDate(), DateStyle::ShortDate),
             formatAmount(account.reconciledBalance(), true));
}

void AccountList::setRowTexts(int row, const Account* account) {
    const QString texts[3] = {account->displayName(), formatAmount(account->getBalance(), true),
                              QStringLiteral("--------")};
    for (int c = 0; c < 3; ++c) {
        QTableWidgetItem* cell = item(row, c);
        if (!cell) {
            cell = new QTableWidgetItem;
            setItem(row, c, cell);
        }
        cell->setText(texts[c]);
        cell->setData(AccountIdRole, uint(account->id()));
        if (c != ActionsColumn) // the icons have tooltips of their own
            cell->setToolTip(reconciledTip(*account));
    }
}

void AccountList::rebuild() {
    setRowCount(0);
    for (Account* account : budget_.accountOrder())
        addAccountRow(account);
}

void AccountList::addAccountRow(Account* account) {
    if (!account || account->isHidden() || rowOf(account) >= 0)
        return;
    const int row = rowCount();
    insertRow(row);
    setRowTexts(row, account);
}

void AccountList::removeAccountRow(const Account* account) {
    const int row = rowOf(account);
    if (row >= 0)
        removeRow(row);
}

int AccountList::rowOf(const Account* account) const {
    if (!account)
        return -1;
    for (int row = 0; row < rowCount(); ++row) {
        if (item(row, 0) && item(row, 0)->data(AccountIdRole).toUInt() == account->id())
            return row;
    }
    return -1;
}

Account* AccountList::accountAt(int row) const {
    const QTableWidgetItem* cell = row >= 0 ? item(row, 0) : nullptr;
    return cell ? budget_.findAccount(cell->data(AccountIdRole).toUInt()) : nullptr;
}

Account* AccountList::selectedAccount() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : accountAt(rows.first().row());
}

void AccountList::refreshTexts() {
    for (int row = 0; row < rowCount(); ++row) {
        if (const Account* account = accountAt(row))
            setRowTexts(row, account);
    }
}

void AccountList::fitColumns() {
    resizeColumnsToContents();
    // The icons must fit even where the placeholder is narrower than they are.
    const auto [left, right] = actionExtent(ActionTransfer);
    const int needed = right - columnViewportPosition(ActionsColumn) + kIconInset;
    if (columnWidth(ActionsColumn) < needed)
        setColumnWidth(ActionsColumn, needed);
}

std::pair<int, int> AccountList::actionExtent(int action) const {
    // Edit first; the card's pay icon shares the place of the deposit icon.
    const auto width = [this](const QString& glyph) { return ActionGlyphs::width(font(), glyph); };
    int x = columnViewportPosition(ActionsColumn) + kIconInset;
    const int edit = width(kEdit);
    if (action == ActionEdit)
        return {x, x + edit};
    x += edit;
    if (action == ActionPayCard)
        return {x, x + width(kPay)};
    const int deposit = width(kDeposit);
    if (action == ActionDeposit)
        return {x, x + deposit};
    x += deposit;
    if (action == ActionTransfer)
        return {x, x + width(kTransfer)};
    return {0, 0};
}

AccountHit AccountList::hitTest(const QPoint& pos) const {
    AccountHit hit;
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.column() != ActionsColumn)
        return hit;
    hit.account = accountAt(index.row());
    if (!hit.account)
        return hit;
    auto inside = [&](int action) {
        const auto [left, right] = actionExtent(action);
        return pos.x() >= left && pos.x() < right;
    };
    if (inside(ActionEdit))
        hit.action = ActionEdit;
    else if (hit.account->isCCAccount())
        hit.action = inside(ActionPayCard) ? ActionPayCard : ActionNone;
    else if (inside(ActionDeposit))
        hit.action = ActionDeposit;
    else if (inside(ActionTransfer))
        hit.action = ActionTransfer;
    return hit;
}

QString AccountList::actionTooltip(int action, const QString& name) {
    switch (action) {
    case ActionEdit:
        return QStringLiteral("Edit account %1").arg(name);
    case ActionDeposit:
        return QStringLiteral("Deposit money into %1").arg(name);
    case ActionTransfer:
        return QStringLiteral("Transfer money from %1 to another account").arg(name);
    case ActionPayCard:
        return QStringLiteral("Pay credit card account %1").arg(name);
    default:
        return {};
    }
}

void AccountList::mouseMoveEvent(QMouseEvent* event) {
    QTableWidget::mouseMoveEvent(event);
    const AccountHit hit = hitTest(event->position().toPoint());
    if (hit.action != ActionNone) {
        viewport()->setCursor(Qt::PointingHandCursor);
        tip_->showAt(event->globalPosition().toPoint(),
                     actionTooltip(hit.action, hit.account->getName()));
    } else {
        viewport()->setCursor(Qt::ArrowCursor);
        tip_->hideTip();
    }
}

void AccountList::mousePressEvent(QMouseEvent* event) {
    tip_->hideTip();
    pressHit_ =
        event->button() == Qt::LeftButton ? hitTest(event->position().toPoint()) : AccountHit{};
    QTableWidget::mousePressEvent(event);
}

void AccountList::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    const AccountHit pressed = pressHit_;
    pressHit_ = {};
    if (event->button() != Qt::LeftButton || pressed.action == ActionNone)
        return;
    const AccountHit hit = hitTest(event->position().toPoint());
    if (hit.action == pressed.action && hit.account == pressed.account)
        emit actionClicked(hit.action, hit.account);
}

void AccountList::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (Account* account = index.isValid() ? accountAt(index.row()) : nullptr)
        emit accountDoubleClicked(account);
}

void AccountList::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        openMenuAtCurrentRow();
        return;
    }
    const QModelIndex index = indexAt(event->pos());
    Account* account = index.isValid() ? accountAt(index.row()) : nullptr;
    if (!account)
        return;
    selectRow(index.row());
    emit accountContextMenu(account, event->globalPos());
}

void AccountList::keyPressEvent(QKeyEvent* event) {
    if (isContextMenuKey(event)) {
        openMenuAtCurrentRow();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void AccountList::openMenuAtCurrentRow() {
    const int row = currentRow();
    Account* account = accountAt(row);
    if (!account)
        return;
    const QRect cell = visualRect(model()->index(row, NameColumn));
    emit accountContextMenu(account, viewport()->mapToGlobal(cell.bottomLeft()));
}

bool AccountList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave)
        tip_->hideTip();
    return QTableWidget::viewportEvent(event);
}
