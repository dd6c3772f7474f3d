#pragma once
// The "Reports" window: spending per envelope as a bar graph of expense totals or as a grid
// of monthly budgets and averages, filtered by month and year; and the reports over time
// (spending, income and spending, envelope history, net worth) for a range of months. Every
// report prints and saves as CSV and PNG. It changes nothing.

#include "gui/trendview.h"
#include "model/budget.h"
#include "reports/statistics.h"

#include <QDialog>
#include <QWidget>
#include <functional>
#include <vector>

class Prompter;
class QComboBox;
class QDateEdit;
class QPrinter;
class QPushButton;
class QTextDocument;
class QTableWidget;
class QWidget;

// Opens the window modally.
void showReports(const Budget& budget, QWidget* parent, Prompter& prompter);

struct Bar {
    QString label;
    Amount value = 0; // spending shown positive
};

// One bar per envelope sum whose id names an existing item, in ascending id order.
std::vector<Bar> graphBars(ReportState& state, Prompter& prompter, const Budget& budget, int month,
                           int year);

// Horizontal placement of the bars: slots of at most 100 pixels, bars 80% of a slot.
struct BarSlots {
    int slot = 0;
    int barWidth = 0;
    int margin = 0;
    int left(int index) const { return margin + index * slot; }
    int right(int index) const { return left(index) + barWidth; }
};
BarSlots barSlots(int areaWidth, int count);

// The y of a bar's top in an area whose bottom is at `bottom` and height is `height`: bars
// are proportional to their values with the largest one as tall as the area; values of
// zero or below give no height.
int barTop(Amount value, Amount largest, int bottom, int height);

// "name     $12.34 ": the text drawn beside a bar.
QString barLabelText(const Bar& bar);

// The graph area: a white framed rectangle with the bars and their upright labels.
class BarGraph : public QWidget {
    Q_OBJECT
public:
    explicit BarGraph(QWidget* parent = nullptr);
    void setBars(std::vector<Bar> bars);
    const std::vector<Bar>& bars() const { return bars_; }
    QFont labelFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Bar> bars_;
};

class ReportWindow : public QDialog {
    Q_OBJECT
public:
    ReportWindow(const Budget& budget, Prompter& prompter, QWidget* parent = nullptr);

    QComboBox* reportBox() const { return report_; }
    QComboBox* monthBox() const { return month_; }
    QComboBox* yearBox() const { return year_; }
    QComboBox* styleBox() const { return style_; }
    QDateEdit* fromBox() const { return from_; }
    QDateEdit* toBox() const { return to_; }
    QComboBox* byBox() const { return by_; }
    QComboBox* perBox() const { return per_; }
    QComboBox* envelopeBox() const { return envelope_; }
    TrendView* trends() const { return trends_; }
    QPushButton* printButton() const { return print_; }
    QPushButton* csvButton() const { return csv_; }
    QPushButton* pngButton() const { return png_; }

    // 0 for the expenses by envelope, else a TrendKind.
    int selectedReport() const;
    // What is shown, as a table (CSV, print) and as a picture (PNG, the print's figure).
    ReportTable currentTable(bool asCurrency) const;
    QImage currentImage(const QPalette& palette) const;
    // The printable report: title, range, the picture and the table.
    void reportDocument(QTextDocument& document) const;
    bool saveCsv(const QString& path) const;
    bool savePng(const QString& path) const;
    bool printOn(QPrinter& printer) const;
    BarGraph* graph() const { return graph_; }
    QTableWidget* grid() const { return grid_; }

    int selectedMonth() const;
    int selectedYear() const;
    int selectedStyle() const;
    const ReportState& state() const { return state_; }
    // Where the graph and the grid sit in the window.
    QRect viewRect() const;

    // Tests: run in place of exec (the window is then not shown at all).
    static std::function<void(ReportWindow*)> beforeExec;
    // Tests: answer the save-file and printer questions (an empty path, false: cancelled).
    static std::function<QString(const QString& suggested)> chooseSaveFile;
    static std::function<bool(QPrinter&)> choosePrinter;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void selectionChanged();
    void showSelectedView();
    void refreshGraph();
    void refillGrid();
    void layOut();
    void refreshTrends();
    void saveAs(const QString& filter, const QString& suffix);
    void printReport();

    const Budget& budget_;
    Prompter& prompter_;
    ReportState state_;
    bool graphFilled_ = false;
    QWidget* controls_ = nullptr;
    QComboBox* report_ = nullptr;
    QComboBox* month_ = nullptr;
    QComboBox* year_ = nullptr;
    QComboBox* style_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QComboBox* by_ = nullptr;
    QComboBox* per_ = nullptr;
    QComboBox* envelope_ = nullptr;
    QPushButton* print_ = nullptr;
    QPushButton* csv_ = nullptr;
    QPushButton* png_ = nullptr;
    TrendView* trends_ = nullptr;
    BarGraph* graph_ = nullptr;
    QTableWidget* grid_ = nullptr;
};
