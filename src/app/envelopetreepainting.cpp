// The tree's painting: cell texts, colours, the funding bars and the glyphs of each row.
#include "app/envelopetree.h"

#include "app/actionglyphs.h"
#include "app/columnwidths.h"
#include "model/budget.h"
#include "platform/screen.h"

#include <QHeaderView>
#include <QPainter>

namespace {
const QString kOpenFolder = QStringLiteral(u"\U0001F5C1");
const QString kClosedFolder = QStringLiteral(u"\U0001F5C0");
const QString kCard = QStringLiteral(u"\U0001F4B3");

const QColor kFolderBackground(230, 240, 250);
const QColor kGridGrey(200, 200, 200);
// A fill bar in a colour of its own, outlined in a darker shade: a pale fill with a grey
// frame looked like an empty text field.
const QColor kBarFill(186, 222, 186);
const QColor kBarOutline(110, 160, 110);
// The information text in a grey that still reads on white (the disabled grey did not).
const QColor kInformationGrey(96, 96, 96);
const QColor kLightRed(255, 200, 200);

int lighten(int channel) {
    return channel >= 226 ? 255 : channel + 30;
}

QString currency(Amount value) {
    return formatAmount(value, true);
}

// Room around a money text: the painter keeps 4 pixels on each side, the grid line 2 more.
constexpr int kCellPadding = 10;
} // namespace

QString EnvelopeTree::cellText(const QTreeWidgetItem* row, int column) const {
    const AccountBase* item = itemOf(row);
    if (column == 0) {
        if (!item)
            return row ? row->text(0) : QString();
        if (item->getType() == ItemType::Folder) {
            // A folder without rows under it cannot be open, whatever the view remembers.
            const bool open = row->isExpanded() && row->childCount() > 0;
            return (open ? kOpenFolder : kClosedFolder) + u' ' + item->getName();
        }
        if (item->id() == kChargesEnvelopeId)
            return kCard + u' ' + item->getName();
        return item->getName();
    }
    if (!item)
        return {};
    const TreeRowValues& v = values(*item);
    switch (column) {
    case 1:
        return currency(amountMagnitude(v.budgeted));
    case 2:
        return currency(v.actual);
    case 3:
        return currency(v.difference);
    case 4:
        return v.showBalance ? currency(v.balance) : QString();
    case 5:
        return v.information;
    default:
        return {};
    }
}

QColor EnvelopeTree::amountColour(Amount value, bool negativeIsBad, bool selected) const {
    switch (amountTextColour(value, negativeIsBad)) {
    case AmountColour::Grey:
        return selected ? palette().color(QPalette::HighlightedText)
                        : palette().color(QPalette::Disabled, QPalette::Text);
    case AmountColour::Red:
        return selected ? kLightRed : QColor(255, 0, 0);
    case AmountColour::Normal:
        break;
    }
    return selected ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text);
}

QColor EnvelopeTree::cellColour(const QTreeWidgetItem* row, int column) const {
    const AccountBase* item = itemOf(row);
    const TreeRowValues empty;
    const TreeRowValues& v = item ? values(*item) : empty;
    const bool selected = row && row->isSelected();
    switch (column) {
    case 1:
        return amountColour(v.budgeted, false, selected);
    case 2:
        return amountColour(v.actual, false, selected);
    case 3:
        return amountColour(v.difference, true, selected);
    case 4:
        return amountColour(v.balance, true, selected);
    default:
        return {};
    }
}

void EnvelopeTree::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    opt.state &= ~QStyle::State_HasFocus; // no focus rectangles
    QTreeWidget::drawRow(painter, opt, index);
    const QTreeWidgetItem* row = itemFromIndex(index);
    if (row)
        paintRow(painter, opt.rect, row, selectionModel()->isSelected(index));
}

void EnvelopeTree::drawBranches(QPainter* painter, const QRect& rect,
                                const QModelIndex& index) const {
    // The selection shows from the label on; the buttons and lines left of it stand on the
    // window colour on every row, selected or not.
    painter->fillRect(rect, palette().color(QPalette::Base));
    QTreeWidget::drawBranches(painter, rect, index);
}

void EnvelopeTree::paintRow(QPainter* p, const QRect& rowRect, const QTreeWidgetItem* row,
                            bool selected) const {
    p->save();
    const AccountBase* item = itemOf(row);
    const TreeRowKind kind = rowKind(row);
    const QPalette& pal = palette();
    const QColor highlight = pal.color(QPalette::Highlight);
    const QColor highlightText = pal.color(QPalette::HighlightedText);
    const QColor menuText = selected ? highlightText : pal.color(QPalette::Text);
    const QColor linkColour = selected ? highlightText : pal.color(QPalette::Link);
    const int top = rowRect.top();
    const int height = rowRect.height();
    const int rowRight = qMax(rowRect.right(), columnEnd(5) - 1);

    const std::vector<Glyph> glyphs = glyphLayout(item);
    const QRect label = labelRect(row, glyphs);

    // 1. Background from the label to the row's end.
    QColor background = kind == TreeRowKind::Folder ? kFolderBackground : QColor(Qt::white);
    if (selected && kind != TreeRowKind::AddFolder)
        background = highlight;
    p->fillRect(QRect(QPoint(label.left(), top), QPoint(rowRight, top + height - 1)), background);

    const QFontMetrics fm(font());
    auto drawCell = [&](int column, const QString& text, const QColor& colour) {
        const int left = header()->sectionViewportPosition(column) + 4;
        const int right = columnEnd(column) - 4;
        if (right <= left || text.isEmpty())
            return;
        p->setPen(colour);
        p->drawText(QRect(left, top, right - left, height), Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(text, Qt::ElideRight, right - left));
    };

    // 2.-4. Money columns and information.
    if (item) { // the "Add folder" row has no values to show
        const TreeRowValues& v = values(*item);
        drawCell(1, currency(amountMagnitude(v.budgeted)),
                 amountColour(v.budgeted, false, selected));
        drawCell(2, currency(v.actual), amountColour(v.actual, false, selected));
        drawCell(3, currency(v.difference), amountColour(v.difference, true, selected));
        if (v.showBalance)
            drawCell(4, currency(v.balance), amountColour(v.balance, true, selected));
        drawCell(5, v.information, selected ? highlightText : kInformationGrey);
    }

    // 5. Action glyphs, laid out from the right of column 0.
    for (const Glyph& g : glyphs)
        ActionGlyphs::draw(p, QRect(g.left, top, g.right - g.left, height), g.text, linkColour,
                           font());

    // 6./7. Label, behind it the fill bar of an envelope with a goal or a budget.
    const QString text = cellText(row, 0);
    if (kind == TreeRowKind::AddFolder) {
        QFont underlined = font();
        underlined.setUnderline(true);
        p->setFont(underlined);
        p->setPen(pal.color(QPalette::Link));
        p->drawText(label, Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(underlined).elidedText(text, Qt::ElideRight, label.width()));
        p->setFont(font());
    } else {
        const TreeRowValues* v = item && kind == TreeRowKind::Envelope ? &values(*item) : nullptr;
        // Every label starts where a fill bar's label does, bar or not, so names line up.
        const int textLeft = label.left() + 4;
        if (v && v->barTarget != 0) {
            const double ratio = double(v->balance) / double(v->barTarget);
            const double scaled = ratio * label.width();
            const int barWidth = scaled > 8 ? int(qMin(scaled, 1e6)) : 8;
            const int left = label.left() + 2;
            const int right = qMin(label.left() + barWidth - 2, label.right() - 2);
            const QRect bar(QPoint(left, label.top() + 2), QPoint(right, label.bottom() - 2));
            QColor fill = kBarFill;
            if (selected)
                fill = QColor(lighten(highlight.red()), lighten(highlight.green()),
                              lighten(highlight.blue()));
            p->fillRect(bar, fill);
            p->setPen(selected ? highlightText : kBarOutline);
            p->drawRect(bar.adjusted(0, 0, -1, -1));
        }
        p->setPen(menuText);
        const int width = label.right() + 1 - textLeft;
        if (width > 0)
            p->drawText(QRect(textLeft, top, width, height), Qt::AlignLeft | Qt::AlignVCenter,
                        fm.elidedText(text, Qt::ElideRight, width));
    }

    // 8. Grid lines.
    p->setPen(kGridGrey);
    p->drawLine(rowRect.left(), top, rowRight, top);
    for (int c = 0; c < 6; ++c) {
        const int x = columnEnd(c) - 2;
        p->drawLine(x, top, x, top + height - 1);
    }
    p->restore();
}
