#include "gui/reportwindow.h"

#include "gui/printout.h"
#include "model/clock.h"
#include "model/prompter.h"
#include "platform/screen.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>

std::function<void(ReportWindow*)> ReportWindow::beforeExec;
std::function<QString(const QString&)> ReportWindow::chooseSaveFile;
std::function<bool(QPrinter&)> ReportWindow::choosePrinter;

namespace {
constexpr int kMaxSlot = 100;
constexpr int kGraphStyle = 1;
constexpr int kGridStyle = 2;
constexpr int kAll = -1;
const QColor kBarColour(0, 0, 255);
const QColor kShadowColour(100, 100, 100);

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

template <typename Box> Box* addChoice(QHBoxLayout* row, QWidget* owner, const QString& label) {
    auto* text = new QLabel(label, owner);
    auto* box = new Box(owner);
    text->setBuddy(box);
    row->addWidget(text);
    row->addWidget(box);
    return box;
}

QComboBox* addChoice(QHBoxLayout* row, QWidget* owner, const QString& label) {
    return addChoice<QComboBox>(row, owner, label);
}

// Shows or hides a control together with the label that names it.
void showChoice(QWidget* box, bool visible) {
    box->setVisible(visible);
    for (QLabel* label : box->parentWidget()->findChildren<QLabel*>()) {
        if (label->buddy() == box)
            label->setVisible(visible);
    }
}

QDateEdit* monthEdit(QDateEdit* edit, QDate month) {
    edit->setDisplayFormat(QStringLiteral("MMM yyyy"));
    edit->setDate(month);
    return edit;
}

// Paper is white whatever the screen's theme.
QPalette paperPalette() {
    QPalette palette;
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Mid, QColor(150, 150, 150));
    return palette;
}

QString htmlTable(const ReportTable& table) {
    // Many columns (spending by ten groups) take a smaller face, so amounts stay on one line.
    const bool wide = table.headers.size() > 7;
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                                  "width=\"100%\" style=\"font-size:%1pt\"><tr>")
                       .arg(wide ? 7 : 9);
    for (const QString& h : table.headers)
        html += QStringLiteral("<th>") + h.toHtmlEscaped() + QStringLiteral("</th>");
    html += QStringLiteral("</tr>");
    for (const QStringList& row : table.rows) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < int(row.size()); ++c) {
            // Texts left, amounts (every cell after the names) right.
            const bool text = c == 0 || (table.headers.value(1) == u"Folder" && c < 3);
            html += QString::fromLatin1(text ? "<td>" : "<td align=\"right\" nowrap>") +
                    row[c].toHtmlEscaped() + QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
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
            bars.push_back({item->getName(), negatedAmount(sum)});
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
    const DateTime now = Clock::now();
    const QDate thisMonth(now.year, now.month, 1);
    from_ = monthEdit(addChoice<QDateEdit>(row, controls_, QStringLiteral("From:")),
                      thisMonth.addMonths(-11));
    to_ = monthEdit(addChoice<QDateEdit>(row, controls_, QStringLiteral("To:")), thisMonth);
    by_ = addChoice(row, controls_, QStringLiteral("By:"));
    per_ = addChoice(row, controls_, QStringLiteral("Per:"));
    envelope_ = addChoice(row, controls_, QStringLiteral("Envelope:"));
    row->addStretch(1);
    print_ = new QPushButton(QStringLiteral("Print..."), controls_);
    csv_ = new QPushButton(QStringLiteral("Save CSV..."), controls_);
    png_ = new QPushButton(QStringLiteral("Save PNG..."), controls_);
    for (QPushButton* button : {print_, csv_, png_}) {
        button->setAutoDefault(false);
        row->addWidget(button);
    }
    connect(print_, &QPushButton::clicked, this, &ReportWindow::printReport);
    connect(csv_, &QPushButton::clicked, this,
            [this] { saveAs(QStringLiteral("CSV (*.csv)"), QStringLiteral(".csv")); });
    connect(png_, &QPushButton::clicked, this,
            [this] { saveAs(QStringLiteral("PNG image (*.png)"), QStringLiteral(".png")); });
    auto* close = new QPushButton(QStringLiteral("Close"), controls_);
    close->setDefault(true);
    row->addWidget(close);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    report_->addItem(QStringLiteral("Expenses by date"), 0);
    report_->addItem(QStringLiteral("Spending over time"), int(TrendKind::Spending));
    report_->addItem(QStringLiteral("Income and spending"), int(TrendKind::IncomeSpending));
    report_->addItem(QStringLiteral("Envelope history"), int(TrendKind::EnvelopeHistory));
    report_->addItem(QStringLiteral("Net worth"), int(TrendKind::NetWorth));
    by_->addItem(QStringLiteral("Envelope"), int(SpendingGrouping::Envelope));
    by_->addItem(QStringLiteral("Folder"), int(SpendingGrouping::Folder));
    per_->addItem(QStringLiteral("Month"), int(SpendingPeriod::Month));
    per_->addItem(QStringLiteral("Week"), int(SpendingPeriod::Week));
    envelope_->addItem(QStringLiteral("All envelopes"), qint64(kNoId));
    {
        std::vector<const AccountBase*> envelopes;
        for (const AccountBase* e : budget.itemsOfType(ItemType::Envelope)) {
            if (!e->isHidden())
                envelopes.push_back(e);
        }
        std::stable_sort(envelopes.begin(), envelopes.end(), [](auto* a, auto* b) {
            return a->getName().compare(b->getName(), Qt::CaseInsensitive) < 0;
        });
        for (const AccountBase* e : envelopes)
            envelope_->addItem(e->getName(), qint64(e->id()));
    }

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
    trends_ = new TrendView(budget, this);
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

    for (QComboBox* box : {report_, month_, year_, style_, by_, per_, envelope_})
        connect(box, &QComboBox::currentIndexChanged, this, &ReportWindow::selectionChanged);
    for (QDateEdit* edit : {from_, to_})
        connect(edit, &QDateEdit::dateChanged, this, &ReportWindow::selectionChanged);

    // Wide enough for the widest row of controls (the spending report's).
    report_->blockSignals(true);
    report_->setCurrentIndex(report_->findData(int(TrendKind::Spending)));
    showSelectedView();
    int widest = controls_->sizeHint().width();
    report_->setCurrentIndex(0);
    report_->blockSignals(false);
    showSelectedView();
    widest = std::max(widest, controls_->sizeHint().width());
    const int left = viewRect().left();
    setMinimumSize(widest + 2 * left, viewRect().top() + 200);
    resize(std::max(minimumWidth(), 900), 600);
    layOut();
}

int ReportWindow::selectedReport() const {
    return report_->currentData().toInt();
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
    trends_->setGeometry(view);
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
            if (selectedReport() != 0)
                refreshTrends();
            else if (selectedStyle() != kGridStyle)
                refreshGraph();
        });
    }
}

void ReportWindow::showSelectedView() {
    const int report = selectedReport();
    const bool gridStyle = selectedStyle() == kGridStyle;
    graph_->setVisible(report == 0 && !gridStyle);
    grid_->setVisible(report == 0 && gridStyle);
    trends_->setVisible(report != 0);
    for (QWidget* box : std::initializer_list<QWidget*>{month_, year_, style_})
        showChoice(box, report == 0);
    for (QWidget* box : std::initializer_list<QWidget*>{from_, to_})
        showChoice(box, report != 0);
    showChoice(by_, report == int(TrendKind::Spending));
    showChoice(per_, report == int(TrendKind::Spending));
    showChoice(envelope_, report == int(TrendKind::EnvelopeHistory));
    // The row changed: the view below it may need to move.
    if (controls_)
        layOut();
}

void ReportWindow::refreshTrends() {
    graphFilled_ = true;
    TrendOptions options;
    const QDate a = from_->date();
    const QDate b = to_->date();
    options.range = MonthRange::of(std::min(a, b), std::max(a, b));
    options.grouping = SpendingGrouping(by_->currentData().toInt());
    options.period = SpendingPeriod(per_->currentData().toInt());
    options.envelope = ItemId(envelope_->currentData().toLongLong());
    trends_->show(TrendKind(selectedReport()), options);
}

void ReportWindow::selectionChanged() {
    showSelectedView();
    if (selectedReport() != 0) {
        refreshTrends();
        return;
    }
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
        grid_->setItem(r, 1, gridItem(currency(negatedAmount(envelope->getBudgeted())), true));
        grid_->setItem(r, 2, gridItem(currency(negatedAmount(averages.perDay)), true));
        grid_->setItem(r, 3, gridItem(currency(negatedAmount(averages.perMonth)), true));
    }
    grid_->resizeColumnsToContents();
}

ReportTable ReportWindow::currentTable(bool asCurrency) const {
    if (selectedReport() != 0)
        return trends_->reportTable(asCurrency);
    ReportTable table;
    table.title = QStringLiteral("Expenses by date");
    if (selectedStyle() != kGridStyle) {
        table.headers = {QStringLiteral("Envelope"), QStringLiteral("Spent")};
        for (const Bar& bar : graph_->bars())
            table.rows.push_back({bar.label, formatAmount(bar.value, asCurrency)});
        return table;
    }
    table.headers = {QStringLiteral("Envelope"), QStringLiteral("Budgeted"),
                     QStringLiteral("Avg per day"), QStringLiteral("Avg per 30 days")};
    const SpendingHistory history =
        SpendingHistory::compute(budget_, false, selectedMonth(), selectedYear());
    for (const AccountBase* item : budget_.itemsOfType(ItemType::Envelope)) {
        const auto* envelope = static_cast<const AccountEnvelope*>(item);
        const SpendingAverages averages = history.averagesOf(*envelope);
        table.rows.push_back({envelope->getName(),
                              formatAmount(negatedAmount(envelope->getBudgeted()), asCurrency),
                              formatAmount(negatedAmount(averages.perDay), asCurrency),
                              formatAmount(negatedAmount(averages.perMonth), asCurrency)});
    }
    return table;
}

QImage ReportWindow::currentImage(const QPalette& palette) const {
    if (selectedReport() == 0) {
        QWidget* view = selectedStyle() == kGridStyle ? static_cast<QWidget*>(grid_) : graph_;
        return view->grab().toImage();
    }
    const TrendChart* chart = trends_->chart();
    const QSize size =
        chart->width() >= 640 && chart->height() >= 360 ? chart->size() : QSize(1280, 640);
    return chart->toImage(size, palette);
}

void ReportWindow::reportDocument(QTextDocument& document) const {
    const ReportTable table = currentTable(true);
    QString subtitle;
    if (selectedReport() == 0) {
        subtitle =
            QStringLiteral("Month: %1, year: %2").arg(month_->currentText(), year_->currentText());
    } else {
        const QDate a = std::min(from_->date(), to_->date());
        const QDate b = std::max(from_->date(), to_->date());
        subtitle = QStringLiteral("%1 to %2").arg(monthText(a), monthText(b));
    }
    // The picture at a paper-friendly size and palette; the grid is its own table.
    QString html = QStringLiteral("<h2>%1</h2><p>%2</p>")
                       .arg(table.title.toHtmlEscaped(), subtitle.toHtmlEscaped());
    if (selectedReport() != 0) {
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("report:chart")),
                             trends_->chart()->toImage(QSize(960, 480), paperPalette()));
        html += QStringLiteral("<p><img src=\"report:chart\" width=\"640\"></p>");
        // What the figures mean (the funding estimate above all) goes on paper too.
        if (selectedReport() != int(TrendKind::Spending))
            html += QStringLiteral("<p>%1</p>").arg(trends_->note()->text().toHtmlEscaped());
    } else if (selectedStyle() != kGridStyle) {
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("report:chart")),
                             graph_->grab().toImage());
        html += QStringLiteral("<p><img src=\"report:chart\" width=\"640\"></p>");
    }
    html += htmlTable(table);
    document.setHtml(html);
}

bool ReportWindow::saveCsv(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = toCsv(currentTable(false)).toUtf8();
    return file.write(bytes) == bytes.size() && file.commit();
}

bool ReportWindow::savePng(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return currentImage(palette()).save(&file, "PNG") && file.commit();
}

bool ReportWindow::printOn(QPrinter& printer) const {
    // Ten groups and a total do not fit across an upright page.
    if (currentTable(false).headers.size() > 7)
        printer.setPageOrientation(QPageLayout::Landscape);
    QTextDocument document;
    reportDocument(document);
    return printDocument(document, printer);
}

void ReportWindow::saveAs(const QString& filter, const QString& suffix) {
    const QString name = currentTable(false).title + QLatin1Char(' ') +
                         QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + suffix;
    const QString suggested = QDir::home().filePath(name);
    QString path =
        chooseSaveFile
            ? chooseSaveFile(suggested)
            : QFileDialog::getSaveFileName(this, QStringLiteral("Save report"), suggested, filter);
    if (path.isEmpty())
        return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive))
        path += suffix;
    const bool saved = suffix == u".csv" ? saveCsv(path) : savePng(path);
    if (!saved)
        prompter_.inform(QStringLiteral("Reports"),
                         QStringLiteral("The report could not be saved as %1.")
                             .arg(QDir::toNativeSeparators(path)),
                         PromptIcon::Error);
}

void ReportWindow::printReport() {
    QPrinter printer;
    bool chosen = false;
    if (choosePrinter) {
        chosen = choosePrinter(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        chosen = dialog.exec() == QDialog::Accepted;
    }
    if (chosen && !printOn(printer))
        prompter_.inform(QStringLiteral("Reports"),
                         QStringLiteral("The report could not be printed."), PromptIcon::Error);
}

void showReports(const Budget& budget, QWidget* parent, Prompter& prompter) {
    ReportWindow window(budget, prompter, parent);
    if (ReportWindow::beforeExec)
        ReportWindow::beforeExec(&window);
    else
        window.exec();
}
