#include "gui/reportwindow.h"

#include "model/clock.h"
#include "platform/screen.h"

#include <QComboBox>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

std::function<void(ReportWindow*)> ReportWindow::beforeExec;

namespace {
constexpr int kMaxSlot = 100;
constexpr int kGraphStyle = 1;
constexpr int kGridStyle = 2;
constexpr int kAll = -1;
const QColor kBarColour(0, 0, 255);
const QColor kShadowColour(100, 100, 100);

Amount negated(Amount value) {
    return clampAmount(-std::int64_t(value));
}

QString currency(Amount value) {
    return formatAmount(value, true);
}

// A rectangle given by its corners, the right and bottom edges excluded, outlined with the
// painter's pen: the shape is the same whatever the pen does at the edges.
void drawBox(QPainter& painter, int left, int top, int right, int bottom) {
    if (right - left < 1 || bottom - top < 1)
        return;
    painter.drawRect(left, top, right - left - 1, bottom - top - 1);
}

QComboBox* addChoice(QHBoxLayout* row, QWidget* owner, const QString& label) {
    auto* text = new QLabel(label, owner);
    auto* box = new QComboBox(owner);
    text->setBuddy(box);
    row->addWidget(text);
    row->addWidget(box);
    row->addSpacing(8);
    return box;
}

QTableWidgetItem* gridItem(const QString& text, bool amount) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (amount)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}
} // namespace

std::vector<Bar> graphBars(ReportState& state, Prompter& prompter, const Budget& budget, int month,
                           int year) {
    std::vector<Bar> bars;
    for (const auto& [id, sum] : expensesByEnvelope(state, prompter, budget, month, year)) {
        if (const AccountBase* item = budget.findItem(id))
            bars.push_back({item->getName(), negated(sum)});
    }
    return bars;
}

BarSlots barSlots(int areaWidth, int count) {
    BarSlots placement;
    if (count <= 0 || areaWidth <= 0)
        return placement;
    placement.slot = std::min(areaWidth / count, kMaxSlot);
    placement.barWidth = int(placement.slot * 0.8);
    placement.margin = (placement.slot - placement.barWidth) / 2;
    return placement;
}

int barTop(Amount value, Amount largest, int bottom, int height) {
    if (value <= 0 || largest <= 0 || height <= 0)
        return bottom;
    const int rise = int(double(value) * height / double(largest));
    return bottom - std::min(rise, height);
}

QString barLabelText(const Bar& bar) {
    return bar.label + QStringLiteral("     ") + currency(bar.value) + QLatin1Char(' ');
}

BarGraph::BarGraph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BarGraph::setBars(std::vector<Bar> bars) {
    bars_ = std::move(bars);
    update();
}

QFont BarGraph::labelFont() const {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(QWidget::font().pointSizeF());
    font.setWeight(QFont::Normal);
    return font;
}

void BarGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int width = this->width();
    const int height = this->height();
    painter.setPen(QPen(Qt::black, 0));
    painter.setBrush(Qt::white);
    drawBox(painter, 0, 0, width, height);
    if (bars_.empty())
        return;

    const BarSlots placement = barSlots(width, int(bars_.size()));
    Amount largest = 0;
    for (const Bar& bar : bars_)
        largest = std::max(largest, bar.value);

    const QFont font = labelFont();
    const QFontMetrics metrics(font, this);
    painter.setFont(font);
    for (size_t i = 0; i < bars_.size(); ++i) {
        const Bar& bar = bars_[i];
        const int left = placement.left(int(i));
        const int right = placement.right(int(i));
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(kBarColour);
        drawBox(painter, left, barTop(bar.value, largest, height, height), right, height);

        const QString text = barLabelText(bar);
        const int length = metrics.horizontalAdvance(text);
        const int thickness = metrics.height();
        const int x0 = (left + right) / 2 - thickness / 2;
        const int y0 = height - 10;
        painter.setPen(Qt::NoPen);
        painter.setBrush(kShadowColour);
        drawBox(painter, x0 + 3, y0 - length - 6, x0 + thickness + 3, y0);
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(Qt::white);
        drawBox(painter, x0, y0 - length - 3, x0 + thickness, y0 + 3);

        // Upright text reading from bottom to top, its glyphs to the right of x0.
        painter.save();
        painter.translate(x0, y0);
        painter.rotate(-90);
        painter.drawText(0, metrics.ascent(), text);
        painter.restore();
    }
}

ReportWindow::ReportWindow(const Budget& budget, Prompter& prompter, QWidget* parent)
    : QDialog(parent), budget_(budget), prompter_(prompter) {
    setWindowTitle(QStringLiteral("Reports"));
    setSizeGripEnabled(true);

    controls_ = new QWidget(this);
    auto* row = new QHBoxLayout(controls_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    report_ = addChoice(row, controls_, QStringLiteral("Report:"));
    month_ = addChoice(row, controls_, QStringLiteral("Month:"));
    year_ = addChoice(row, controls_, QStringLiteral("Year:"));
    style_ = addChoice(row, controls_, QStringLiteral("Style:"));
    row->addStretch(1);
    auto* close = new QPushButton(QStringLiteral("Close"), controls_);
    close->setDefault(true);
    row->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    report_->addItem(QStringLiteral("Expenses by date"));

    for (int m = 1; m <= 12; ++m)
        month_->addItem(QString::number(m), m);
    month_->addItem(QStringLiteral("All Months"), kAll);
    month_->setCurrentIndex(month_->count() - 1);

    // Every year from the oldest to the newest transaction, and always the current one.
    // An undated transaction (year 0) names no year.
    int first = Clock::now().year;
    int last = first;
    for (const auto& t : budget.transactions()) {
        const int y = t->transactionTime.year;
        if (y == 0)
            continue;
        first = std::min(first, y);
        last = std::max(last, y);
    }
    for (int y = first; y <= last; ++y)
        year_->addItem(QString::number(y), y);
    year_->addItem(QStringLiteral("All Years"), kAll);
    year_->setCurrentIndex(year_->count() - 1);

    style_->addItem(QStringLiteral("Graph"), kGraphStyle);
    style_->addItem(QStringLiteral("Grid"), kGridStyle);
    style_->setCurrentIndex(0);

    graph_ = new BarGraph(this);
    grid_ = new QTableWidget(this);
    grid_->setShowGrid(true);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->setWordWrap(false);
    applyListFont(grid_);
    // Rows as compact as a report list's, not the table's roomy default.
    grid_->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid_->font()).height() + 6);

    for (QComboBox* box : {report_, month_, year_, style_})
        connect(box, &QComboBox::currentIndexChanged, this, &ReportWindow::selectionChanged);

    showSelectedView();
    const int left = viewRect().left();
    setMinimumSize(controls_->sizeHint().width() + 2 * left, viewRect().top() + 200);
    resize(std::max(minimumWidth(), 900), 600);
    layOut();
}

int ReportWindow::selectedMonth() const {
    return month_->currentData().toInt();
}

int ReportWindow::selectedYear() const {
    return year_->currentData().toInt();
}

int ReportWindow::selectedStyle() const {
    return style_->currentData().toInt();
}

QRect ReportWindow::viewRect() const {
    // The view starts 7 dialog units from the left and 25 from the top (a dialog unit being
    // a quarter of the average character width, an eighth of the character height); the
    // row of controls always fits above it.
    const QFontMetrics metrics(font());
    const int left = (7 * metrics.averageCharWidth() + 2) / 4;
    const int top =
        std::max((25 * metrics.height() + 4) / 8, controls_->sizeHint().height() + 2 * left);
    return QRect(left, top, std::max(0, width() - 2 * left), std::max(0, height() - top - left));
}

void ReportWindow::layOut() {
    const QRect view = viewRect();
    const int rowHeight = controls_->sizeHint().height();
    controls_->setGeometry(view.left(), (view.top() - rowHeight) / 2, view.width(), rowHeight);
    graph_->setGeometry(view);
    grid_->setGeometry(view);
}

void ReportWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layOut();
    update();
}

void ReportWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The first figures (and a warning about too little data) come once the window is up,
    // not from inside a paint, where a message box cannot be shown.
    if (!graphFilled_) {
        graphFilled_ = true;
        QTimer::singleShot(0, this, [this] {
            if (selectedStyle() != kGridStyle)
                refreshGraph();
        });
    }
}

void ReportWindow::showSelectedView() {
    const bool gridStyle = selectedStyle() == kGridStyle;
    graph_->setVisible(!gridStyle);
    grid_->setVisible(gridStyle);
}

void ReportWindow::selectionChanged() {
    showSelectedView();
    if (selectedStyle() != kGridStyle)
        refreshGraph();
    refillGrid();
}

void ReportWindow::refreshGraph() {
    graphFilled_ = true;
    graph_->setBars(graphBars(state_, prompter_, budget_, selectedMonth(), selectedYear()));
}

void ReportWindow::refillGrid() {
    grid_->clear();
    grid_->setRowCount(0);
    grid_->setColumnCount(0);
    const QStringList headers{QStringLiteral("Envelope"), QStringLiteral("Budgeted"),
                              QStringLiteral("Avg per day"), QStringLiteral("Avg per 30 days")};
    grid_->setColumnCount(int(headers.size()));
    grid_->setHorizontalHeaderLabels(headers);

    const std::vector<AccountBase*> envelopes = budget_.itemsOfType(ItemType::Envelope);
    const SpendingHistory history =
        SpendingHistory::compute(budget_, false, selectedMonth(), selectedYear());
    grid_->setRowCount(int(envelopes.size()));
    for (int r = 0; r < int(envelopes.size()); ++r) {
        const auto* envelope = static_cast<const AccountEnvelope*>(envelopes[r]);
        const SpendingAverages averages = history.averagesOf(*envelope);
        QTableWidgetItem* name = gridItem(envelope->getName(), false);
        name->setData(Qt::UserRole, envelope->id());
        grid_->setItem(r, 0, name);
        grid_->setItem(r, 1, gridItem(currency(negated(envelope->getBudgeted())), true));
        grid_->setItem(r, 2, gridItem(currency(negated(averages.perDay)), true));
        grid_->setItem(r, 3, gridItem(currency(negated(averages.perMonth)), true));
    }
    grid_->resizeColumnsToContents();
}

void showReports(const Budget& budget, QWidget* parent, Prompter& prompter) {
    ReportWindow window(budget, prompter, parent);
    if (ReportWindow::beforeExec)
        ReportWindow::beforeExec(&window);
    else
        window.exec();
}
