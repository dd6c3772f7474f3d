#include "gui/trendchart.h"

#include <QHelpEvent>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace {

// Mid-tone hues that keep apart from each other and from both a white and a dark base.
const QColor kSeriesColours[] = {
    QColor(0x4e, 0x79, 0xa7), QColor(0xf2, 0x8e, 0x2b), QColor(0x59, 0xa1, 0x4f),
    QColor(0xe1, 0x57, 0x59), QColor(0x76, 0xb7, 0xb2), QColor(0xed, 0xc9, 0x48),
    QColor(0xb0, 0x7a, 0xa1), QColor(0xff, 0x9d, 0xa7), QColor(0x9c, 0x75, 0x5f),
    QColor(0x8c, 0xd1, 0x7d), QColor(0xba, 0xb0, 0xac)};

// Round steps (1, 2, 5 times a power of ten) so the axis reads in plain numbers.
double niceStep(double span, int wanted) {
    if (span <= 0)
        return 1;
    const double raw = span / std::max(1, wanted);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= raw)
            return m * power;
    }
    return 10 * power;
}

// Axis labels: whole currency units, the cents would only crowd them.
QString axisText(double cents) {
    const QLocale locale;
    return locale.toCurrencyString(cents / 100.0, locale.currencySymbol(), 0);
}

QString totalText(Cents cents) {
    return moneyText(cents, true);
}

} // namespace

QColor seriesColour(int index) {
    const int n = int(std::size(kSeriesColours));
    return kSeriesColours[((index % n) + n) % n];
}

struct TrendChart::Layout {
    QRect plot;
    int legendBottom = 0;
    double low = 0;  // cents at the plot's bottom
    double high = 1; // cents at the plot's top
    double step = 1;
    int bars = 1; // bars per category
    double slot = 0;
    int y(double cents) const {
        return plot.bottom() - int(std::lround((cents - low) * plot.height() / (high - low)));
    }
    double slotLeft(int index) const { return plot.left() + index * slot; }
};

TrendChart::TrendChart(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setMinimumSize(320, 200);
}

void TrendChart::setData(ChartData data) {
    data_ = std::move(data);
    highlighted_ = -1;
    update();
}

void TrendChart::setHighlighted(int index) {
    highlighted_ = index;
    update();
}

TrendChart::Layout TrendChart::layoutFor(const QRect& rect, const QFontMetrics& metrics) const {
    Layout layout;
    const int n = int(data_.categories.size());
    // Range of values: stacks (positive parts up, negative parts down) and lines, with 0.
    double low = 0;
    double high = 0;
    for (const ChartSeries& s : data_.stacks)
        layout.bars = std::max(layout.bars, s.bar + 1);
    for (int c = 0; c < n; ++c) {
        std::vector<double> up(size_t(layout.bars), 0), down(size_t(layout.bars), 0);
        for (const ChartSeries& s : data_.stacks) {
            const double v = double(s.values[size_t(c)]);
            (v >= 0 ? up : down)[size_t(s.bar)] += v;
        }
        for (int b = 0; b < layout.bars; ++b) {
            high = std::max(high, up[size_t(b)]);
            low = std::min(low, down[size_t(b)]);
        }
        for (const ChartLine& l : data_.lines) {
            high = std::max(high, double(l.values[size_t(c)]));
            low = std::min(low, double(l.values[size_t(c)]));
        }
    }
    if (high == low)
        high = low + 10000;
    const int lineHeight = metrics.height();
    // Legend rows at the top.
    int x = rect.left() + 8;
    int y = rect.top() + 6;
    const int swatch = lineHeight * 2 / 3;
    auto legendWidth = [&](const QString& name) {
        return swatch + 6 + metrics.horizontalAdvance(name) + 16;
    };
    auto place = [&](const QString& name) {
        const int w = legendWidth(name);
        if (x + w > rect.right() - 8 && x > rect.left() + 8) {
            x = rect.left() + 8;
            y += lineHeight + 2;
        }
        x += w;
    };
    for (const ChartSeries& s : data_.stacks)
        place(s.name);
    for (const ChartLine& l : data_.lines)
        place(l.name);
    layout.legendBottom = y + lineHeight + 4;

    const int wanted = std::max(2, (rect.height() - layout.legendBottom) / (lineHeight * 3));
    layout.step = niceStep(high - low, wanted);
    layout.low = std::floor(low / layout.step) * layout.step;
    layout.high = std::ceil(high / layout.step) * layout.step;
    int labelWidth = 0;
    for (double v = layout.low; v <= layout.high + layout.step / 2; v += layout.step)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(axisText(v)));
    const int left = rect.left() + labelWidth + 14;
    const int top = layout.legendBottom + lineHeight / 2;
    const int bottom = rect.bottom() - lineHeight - 10;
    layout.plot = QRect(QPoint(left, top), QPoint(rect.right() - 12, std::max(top + 10, bottom)));
    layout.slot = n > 0 ? double(layout.plot.width()) / n : 0;
    // Room above the highest bar for its total, written across or, when bars are narrow,
    // upright.
    if (data_.totalsOnBars && n > 0) {
        double tallest = 0;
        int widestTotal = 0;
        for (int c = 0; c < n; ++c) {
            Cents total = 0;
            double up = 0;
            for (const ChartSeries& s : data_.stacks) {
                if (s.bar != 0)
                    continue;
                total += s.values[size_t(c)];
                up += std::max<double>(0, double(s.values[size_t(c)]));
            }
            tallest = std::max(tallest, up);
            widestTotal = std::max(widestTotal, metrics.horizontalAdvance(totalText(total)));
        }
        const int room = widestTotal + 4 <= layout.slot ? lineHeight + 6 : widestTotal + 10;
        const int height = layout.plot.height();
        if (height > 2 * room && layout.y(tallest) - layout.plot.top() < room) {
            const double high = layout.low + (tallest - layout.low) * height / (height - room);
            layout.high = std::ceil(high / layout.step) * layout.step;
        }
    }
    return layout;
}

void TrendChart::render(QPainter& painter, const QRect& rect, const QPalette& palette,
                        bool withHighlight) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(rect, palette.color(QPalette::Base));
    const QColor text = palette.color(QPalette::Text);
    QColor grid = palette.color(QPalette::Mid);
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    if (dark)
        grid = grid.lighter(110);
    painter.setPen(grid);
    painter.drawRect(rect.adjusted(0, 0, -1, -1));

    const QFontMetrics metrics(painter.font());
    const Layout layout = layoutFor(rect, metrics);
    const int n = int(data_.categories.size());
    const int lineHeight = metrics.height();

    // Legend.
    {
        int x = rect.left() + 8;
        int y = rect.top() + 6;
        const int swatch = lineHeight * 2 / 3;
        auto item = [&](const QString& name, const QColor& colour, bool line) {
            const int w = swatch + 6 + metrics.horizontalAdvance(name) + 16;
            if (x + w > rect.right() - 8 && x > rect.left() + 8) {
                x = rect.left() + 8;
                y += lineHeight + 2;
            }
            const int mid = y + lineHeight / 2;
            if (line) {
                painter.setPen(QPen(colour, 3));
                painter.drawLine(x, mid, x + swatch, mid);
            } else {
                painter.fillRect(QRect(x, mid - swatch / 2, swatch, swatch), colour);
            }
            painter.setPen(text);
            painter.drawText(QRect(x + swatch + 6, y, w, lineHeight), Qt::AlignVCenter, name);
            x += w;
        };
        for (const ChartSeries& s : data_.stacks)
            item(s.name, s.colour, false);
        for (const ChartLine& l : data_.lines)
            item(l.name, l.colour.isValid() ? l.colour : text, true);
    }

    // Grid lines and the value axis.
    for (double v = layout.low; v <= layout.high + layout.step / 2; v += layout.step) {
        const int y = layout.y(v);
        painter.setPen(QPen(grid, 0, std::abs(v) < layout.step / 2 ? Qt::SolidLine : Qt::DotLine));
        painter.drawLine(layout.plot.left(), y, layout.plot.right(), y);
        painter.setPen(text);
        painter.drawText(
            QRect(rect.left() + 4, y - lineHeight / 2, layout.plot.left() - 10, lineHeight),
            Qt::AlignRight | Qt::AlignVCenter, axisText(v));
    }
    if (n == 0) {
        painter.setPen(text);
        painter.drawText(layout.plot, Qt::AlignCenter, QStringLiteral("Nothing in this period"));
        painter.restore();
        return;
    }

    // Category labels: as many as fit side by side.
    int widest = 0;
    for (const QString& c : data_.categories)
        widest = std::max(widest, metrics.horizontalAdvance(c));
    const int every = std::max(1, int(std::ceil((widest + 10) / std::max(1.0, layout.slot))));
    painter.setPen(text);
    for (int c = 0; c < n; c += every) {
        const int centre = int(layout.slotLeft(c) + layout.slot / 2);
        painter.drawText(QRect(centre - widest, layout.plot.bottom() + 4, 2 * widest, lineHeight),
                         Qt::AlignHCenter | Qt::AlignTop, data_.categories[c]);
    }

    if (withHighlight && highlighted_ >= 0 && highlighted_ < n) {
        QColor band = palette.color(QPalette::Highlight);
        band.setAlpha(60);
        painter.fillRect(QRectF(layout.slotLeft(highlighted_), layout.plot.top(), layout.slot,
                                layout.plot.height()),
                         band);
    }

    // Bars.
    const double barGap = layout.slot * 0.2;
    const double barWidth = (layout.slot - barGap) / layout.bars;
    const int zero = layout.y(0);
    for (int c = 0; c < n; ++c) {
        std::vector<double> up(size_t(layout.bars), 0), down(size_t(layout.bars), 0);
        for (const ChartSeries& s : data_.stacks) {
            const double v = double(s.values[size_t(c)]);
            if (v == 0)
                continue;
            double& base = (v > 0 ? up : down)[size_t(s.bar)];
            const int x0 = int(std::lround(layout.slotLeft(c) + barGap / 2 + s.bar * barWidth));
            const int x1 =
                int(std::lround(layout.slotLeft(c) + barGap / 2 + (s.bar + 1) * barWidth));
            const int y0 = layout.y(base);
            const int y1 = layout.y(base + v);
            base += v;
            painter.fillRect(QRect(QPoint(x0, std::min(y0, y1)),
                                   QPoint(std::max(x0, x1 - 1), std::max(y0, y1) - 1)),
                             s.colour);
        }
        if (data_.totalsOnBars && !data_.stacks.empty()) {
            Cents total = 0;
            for (const ChartSeries& s : data_.stacks) {
                if (s.bar == 0)
                    total += s.values[size_t(c)];
            }
            if (total == 0)
                continue;
            const QString label = totalText(total);
            const int width = metrics.horizontalAdvance(label);
            const int centre = int(layout.slotLeft(c) + layout.slot / 2);
            const int top = std::min(layout.y(up[0]), zero);
            painter.setPen(text);
            if (width + 4 <= layout.slot) {
                painter.drawText(QRect(centre - width, top - lineHeight - 2, 2 * width, lineHeight),
                                 Qt::AlignHCenter | Qt::AlignBottom, label);
            } else if (lineHeight <= layout.slot) {
                // Too narrow: the total stands upright above the bar.
                painter.save();
                painter.translate(centre + metrics.ascent() / 2 - 1, top - 4);
                painter.rotate(-90);
                painter.drawText(0, 0, label);
                painter.restore();
            }
        }
    }

    // Lines with a dot at each category.
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const ChartLine& l : data_.lines) {
        const QColor colour = l.colour.isValid() ? l.colour : text;
        QPainterPath path;
        for (int c = 0; c < n; ++c) {
            const QPointF p(layout.slotLeft(c) + layout.slot / 2, layout.y(double(l.values[c])));
            if (c == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        painter.setPen(QPen(colour, l.bold ? 3 : 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.setBrush(colour);
        const double radius = l.bold ? 3.5 : 2.5;
        if (layout.slot >= 3 * radius) {
            for (int c = 0; c < n; ++c)
                painter.drawEllipse(
                    QPointF(layout.slotLeft(c) + layout.slot / 2, layout.y(double(l.values[c]))),
                    radius, radius);
        }
    }
    painter.restore();
}

QImage TrendChart::toImage(const QSize& size, const QPalette& palette) const {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(palette.color(QPalette::Base));
    QPainter painter(&image);
    painter.setFont(font());
    render(painter, QRect(QPoint(0, 0), size), palette);
    return image;
}

int TrendChart::categoryAt(int x) const {
    const Layout layout = layoutFor(rect(), fontMetrics());
    if (layout.slot <= 0 || x < layout.plot.left() || x > layout.plot.right())
        return -1;
    const int index = int((x - layout.plot.left()) / layout.slot);
    return index < int(data_.categories.size()) ? index : -1;
}

void TrendChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    render(painter, rect(), palette(), true);
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    const int index = categoryAt(int(event->position().x()));
    if (event->button() == Qt::LeftButton && index >= 0)
        emit categoryClicked(index);
    QWidget::mousePressEvent(event);
}

bool TrendChart::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = categoryAt(help->pos().x());
        if (index < 0) {
            QToolTip::hideText();
            return true;
        }
        QStringList lines{data_.categories[index]};
        for (const ChartSeries& s : data_.stacks) {
            if (s.values[size_t(index)] != 0)
                lines << s.name + QStringLiteral(": ") + totalText(s.values[size_t(index)]);
        }
        for (const ChartLine& l : data_.lines)
            lines << l.name + QStringLiteral(": ") + totalText(l.values[size_t(index)]);
        QToolTip::showText(help->globalPos(), lines.join(QLatin1Char('\n')), this);
        return true;
    }
    return QWidget::event(event);
}
