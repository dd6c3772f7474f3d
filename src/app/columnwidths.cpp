#include "app/columnwidths.h"

#include <QHeaderView>

ColumnWidths::ColumnWidths(QHeaderView* header) : QObject(header), header_(header) {
    // Every resize that the program did not make itself comes from a divider the user dragged,
    // except hiding and showing a column (from or to width 0): a balance column shown again
    // would otherwise keep the width it had before it was first fitted.
    connect(header, &QHeaderView::sectionResized, this,
            [this](int column, int oldWidth, int width) {
                if (!applying_ && oldWidth > 0 && width > 0)
                    user_[column] = width;
            });
    // The view's own double-click handling sizes the column to its contents first; this
    // connection comes after it, so the column becomes a computed one again.
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        user_.erase(column);
        emit handedBack(column);
    });
}

void ColumnWidths::apply(int column, int computedWidth) {
    const auto found = user_.find(column);
    const int width = found != user_.end() ? found->second : computedWidth;
    if (header_->sectionSize(column) == width)
        return;
    applying_ = true;
    header_->resizeSection(column, width);
    applying_ = false;
}

QVariantList ColumnWidths::userWidths() const {
    QVariantList widths;
    for (const auto& [column, width] : user_) {
        while (widths.size() < column)
            widths.append(0);
        widths.append(width);
    }
    return widths;
}

void ColumnWidths::setUserWidths(const QVariantList& widths) {
    user_.clear();
    for (int column = 0; column < widths.size(); ++column) {
        bool ok = false;
        const int width = widths[column].toInt(&ok);
        // Nothing a broken or hand-edited settings file holds may hide or swallow a column.
        if (ok && width > 0 && width <= 10000)
            user_[column] = qMax(width, header_->minimumSectionSize());
    }
}
