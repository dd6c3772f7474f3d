#pragma once
// The printed budget: the day it was printed, folders and envelopes with their limits, monthly
// budgets and balances, and the totals, as a fixed-width table in a monospace face, shown in
// the "Print" dialog and printed page by page.

#include "model/budget.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class Prompter;
class QPrinter;
class QTextDocument;
class QTextEdit;
class QWidget;

// Width of the name cell of a printed row, of each of its three amount cells, and of a whole
// row.
constexpr int kPrintCellWidth = 26;
constexpr int kPrintAmountWidth = 17;
constexpr int kPrintRowWidth = kPrintCellWidth + 3 * kPrintAmountWidth;

// One row of the table: the name padded or cut to 26 characters, then three amounts padded or
// cut to 17, missing cells blank, then a newline. A cut never splits a surrogate pair.
QString printRow(const QStringList& cells);

// The least margin on every side of a printed page, in millimetres.
constexpr double kPrintMarginMm = 15;

// Appends the whole printable budget to the document.
void budgetPrintText(QTextDocument* document, const Budget& budget);

// Lays the document out for the printer's printable area, inside margins of at least
// kPrintMarginMm, and prints it page by page.
// False when the printer could not be opened, a page could not be started, or a page is
// too low to hold a single line.
bool printDocument(const QTextDocument& document, QPrinter& printer);

// Asks for a printer with QPrintDialog, then prints; returns false when cancelled.
bool printBudget(const Budget& budget, QWidget* parent, Prompter& prompter);

// The printable pages, for tests and for printBudget: renders onto any QPrinter
// (QPrinter::PdfFormat makes it testable).
void renderBudgetPrintout(const Budget& budget, QPrinter& printer);

// The "Print" dialog: the budget as read-only rich text, "Print" and "Cancel".
class PrintWindow : public QDialog {
    Q_OBJECT
public:
    PrintWindow(const Budget& budget, QWidget* parent = nullptr);

    QTextEdit* view() const { return view_; }
    // Asks for a printer and prints on it; the dialog closes either way. True when printed.
    bool printOnChosenPrinter();
    bool printed() const { return printed_; }

    // Tests: run in place of exec (the dialog is then not shown at all).
    static std::function<void(PrintWindow*)> beforeExec;
    // Tests: chooses the printer in place of QPrintDialog; false means cancelled.
    static std::function<bool(QPrinter&)> choosePrinter;

private:
    QTextEdit* view_ = nullptr;
    bool printed_ = false;
};
