#pragma once
// The widths of a view's columns: computed by the program, except those the user set by
// dragging a header divider, which keep the user's width until a double-click on the divider
// hands them back. The user's widths can be kept between runs.

#include <QList>
#include <QObject>
#include <QVariant>
#include <map>

class QHeaderView;

class ColumnWidths : public QObject {
    Q_OBJECT
public:
    explicit ColumnWidths(QHeaderView* header);

    // Gives the column the computed width, or the user's width when the user set one.
    void apply(int column, int computedWidth);
    bool isUserSized(int column) const { return user_.count(column) > 0; }
    // The user's widths, 0 for computed columns (for QSettings).
    QVariantList userWidths() const;
    void setUserWidths(const QVariantList& widths);

signals:
    // A double-click on a divider: the column is computed again from now on.
    void handedBack(int column);

private:
    QHeaderView* header_;
    std::map<int, int> user_;
    bool applying_ = false;
};
