#pragma once
// The envelope tree: visible folders with their visible envelopes under a six-column
// header, then the "Add folder" row. Rows are painted over the default drawing with money
// columns, information texts, action glyphs and fill bars; glyphs are click zones.

#include "model/treevalues.h"

#include <QFont>
#include <QHash>
#include <QLabel>
#include <QTreeWidget>
#include <optional>
#include <unordered_map>
#include <vector>

class Budget;
class ColumnWidths;

// A tooltip window placed exactly 10 pixels right of and 20 pixels above the cursor.
class TrackingTip : public QLabel {
public:
    explicit TrackingTip(QWidget* owner);
    // Sets the text; moves the tip when the cursor position changed; shows it.
    void showAt(const QPoint& globalCursor, const QString& text);
    void hideTip();

private:
    QPoint lastCursor_{INT_MIN, INT_MIN};
};

enum class TreeRowKind { None = 0, Folder = 1, Envelope = 2, AddFolder = 3 };

struct TreeHit {
    QTreeWidgetItem* row = nullptr;
    AccountBase* item = nullptr;
    TreeZone zone = TreeZone::None;
};

class EnvelopeTree : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int ItemIdRole = Qt::UserRole + 1;

    explicit EnvelopeTree(Budget& budget, QWidget* parent = nullptr);

    // All rows from the budget's folder order, then "Add folder"; selects the first row.
    void rebuild();
    // Puts a newly visible folder or envelope on screen at its place in the budget's order
    // (a folder with its visible envelopes). Hidden items and accounts are ignored.
    QTreeWidgetItem* showItem(AccountBase* item);
    void removeItem(const AccountBase* item);
    // Moves a row under parentRow (nullptr: top level) to index (-1: last; at the top level
    // "last" is just above "Add folder"), keeping its expansion and selection.
    void placeRow(QTreeWidgetItem* row, QTreeWidgetItem* parentRow, int index);

    QTreeWidgetItem* findRow(const AccountBase* item) const;
    AccountBase* itemOf(const QTreeWidgetItem* row) const;
    TreeRowKind rowKind(const QTreeWidgetItem* row) const;
    QTreeWidgetItem* addFolderRow() const;
    AccountBase* selectedItem() const;

    // Column widths from the tree's font and the widest amount text in the locale; the last
    // column takes what is left; a column the user sized keeps its width. Done again whenever
    // the tree's client area changes size.
    void computeColumnWidths();
    ColumnWidths* columnWidths() const { return widths_; }
    // Recomputes the values when the month changed since they were computed (checked every
    // minute); true when it did.
    bool followClock();
    static constexpr int kMonthCheckMs = 60 * 1000;
    // Row labels from the items' names; values are recomputed at the next paint.
    void refreshLabels();
    void invalidateValues();

    TreeHit hitTestZone(const QPoint& viewportPos) const;
    // Where a zone's glyph (or the "Add folder" label) of a row is, in viewport coordinates.
    QRect zoneRect(const QTreeWidgetItem* row, TreeZone zone) const;
    // What the painter writes in a column: label (0), money texts (1..4), information (5).
    QString cellText(const QTreeWidgetItem* row, int column) const;
    // The colour of a money column's text on the row (1..4).
    QColor cellColour(const QTreeWidgetItem* row, int column) const;
    TrackingTip* tip() const { return tip_; }

signals:
    void zoneClicked(TreeZone zone, AccountBase* item);
    void rowContextMenu(QTreeWidgetItem* row, const QPoint& globalPos);
    // The values moved on to a new month.
    void monthChanged();

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct Glyph {
        TreeZone zone;
        QString text;
        int left;
        int right; // exclusive
    };
    std::vector<Glyph> glyphLayout(const AccountBase* item) const;
    QRect labelRect(const QTreeWidgetItem* row, const std::vector<Glyph>& glyphs) const;
    int columnEnd(int column) const;
    const TreeRowValues& values(const AccountBase& item) const;
    QColor amountColour(Amount value, bool negativeIsBad, bool selected) const;
    void paintRow(QPainter* p, const QRect& rowRect, const QTreeWidgetItem* row,
                  bool selected) const;
    QTreeWidgetItem* newRow(const AccountBase* item) const;
    void addChildrenRows(QTreeWidgetItem* row, const AccountBase* item);
    int widestAmountText() const;
    // The widest label with its indent and glyphs, and the widest information text.
    std::pair<int, int> widestLabelAndInformation(int glyphs) const;
    void openMenuAtCurrentRow();

    Budget& budget_;
    TrackingTip* tip_;
    TreeHit pressHit_;
    ColumnWidths* widths_;
    mutable std::optional<MonthFlows> flows_;
    mutable int valuesMonth_ = 0; // year * 12 + month of the values, 0 before any
    mutable std::unordered_map<ItemId, TreeRowValues> valueCache_;
    // Measured amount texts in widthFont_: most stay the same from one refresh to the next.
    mutable QHash<QString, int> textWidths_;
    mutable QFont widthFont_;
};
