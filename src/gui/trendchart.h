#pragma once
// A chart over time drawn with QPainter: per category (a month or a week) one or more bars
// side by side, each a stack of series, and lines across the categories. Colours for
// background, frame, grid and text come from the palette, so it reads on light and dark.

#include "reports/trends.h"

#include <QColor>
#include <QPalette>
#include <QWidget>
#include <vector>

struct ChartSeries {
    QString name;
    QColor colour;
    std::vector<Cents> values; // one per category
    int bar = 0;               // which bar of the category the series stacks onto
};

struct ChartLine {
    QString name;
    QColor colour; // invalid: the palette's text colour
    std::vector<Cents> values;
    bool bold = false;
};

struct ChartData {
    QStringList categories;
    std::vector<ChartSeries> stacks;
    std::vector<ChartLine> lines;
    bool totalsOnBars = false; // the sum of each category's first bar written above it
};

// Colours for series that stay apart on white and on a dark base.
QColor seriesColour(int index);

class TrendChart : public QWidget {
    Q_OBJECT
public:
    explicit TrendChart(QWidget* parent = nullptr);
    void setData(ChartData data);
    const ChartData& data() const { return data_; }
    // The category shown as chosen (its transactions listed), or -1.
    void setHighlighted(int index);
    int highlighted() const { return highlighted_; }

    // Draws the chart into rect with the given palette (the screen's, or a light one on paper).
    // The highlighted category is marked on screen only.
    void render(QPainter& painter, const QRect& rect, const QPalette& palette,
                bool withHighlight = false) const;
    // The chart alone as an image of the given size.
    QImage toImage(const QSize& size, const QPalette& palette) const;
    // The category under x in a chart of the widget's size, or -1.
    int categoryAt(int x) const;

signals:
    void categoryClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Layout;
    Layout layoutFor(const QRect& rect, const QFontMetrics& metrics) const;

    ChartData data_;
    int highlighted_ = -1;
};
