#include "gui/printout.h"

#include "model/clock.h"
#include "platform/richtext.h"

#include <QAbstractTextDocumentLayout>
#include <QDate>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QVBoxLayout>
#include <memory>

std::function<void(PrintWindow*)> PrintWindow::beforeExec;
std::function<bool(QPrinter&)> PrintWindow::choosePrinter;

namespace {
constexpr double kTitlePoints = 14;
constexpr double kBodyPoints = 10; // a row of 77 characters fits A4 and Letter inside the margins
const QColor kStripe(240, 240, 240);

QString magnitude(Amount value) {
    return formatAmount(amountMagnitude(value), true);
}

QString cell(const QString& text, int width) {
    if (text.size() <= width)
        return text.leftJustified(width, QLatin1Char(' '));
    // A surrogate pair stays whole; the cell is then padded back to its width.
    qsizetype keep = width - 1;
    if (text.at(keep - 1).isHighSurrogate())
        --keep;
    return text.left(keep).leftJustified(width, QLatin1Char(' '));
}

class RunWriter {
public:
    explicit RunWriter(QTextDocument* document) : cursor_(document), font_(consolasFont()) {
        cursor_.movePosition(QTextCursor::End);
    }
    void append(const QString& text, double points, bool bold, bool underline,
                const QColor& background = Qt::white) {
        QTextCharFormat format;
        format.setFont(font_);
        format.setFontPointSize(points);
        format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
        format.setFontUnderline(underline);
        format.setForeground(Qt::black);
        format.setBackground(background);
        cursor_.insertText(text, format);
    }

private:
    QTextCursor cursor_;
    QFont font_;
};

// The folder that holds nothing but the card charges envelope is not part of the printout.
bool onlyHoldsCardCharges(const AccountGroup& folder) {
    const auto& children = folder.children();
    return children.size() == 1 && children.front()->id() == kChargesEnvelopeId;
}
qreal tallestLine(const QTextDocument& document) {
    qreal tallest = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; layout && i < layout->lineCount(); ++i)
            tallest = qMax(tallest, layout->lineAt(i).height());
    }
    return tallest;
}
} // namespace

QString printRow(const QStringList& cells) {
    QString row;
    row.reserve(kPrintRowWidth + 1);
    for (int i = 0; i < 4; ++i)
        row += cell(i < cells.size() ? cells.at(i) : QString(),
                    i == 0 ? kPrintCellWidth : kPrintAmountWidth);
    row += QLatin1Char('\n');
    return row;
}

void budgetPrintText(QTextDocument* document, const Budget& budget) {
    if (!document)
        return;
    RunWriter out(document);
    out.append(QStringLiteral("Tallykeep Budget\n"), kTitlePoints, true, false);
    const DateTime now = Clock::now();
    out.append(
        QStringLiteral("Printed %1\n\n")
            .arg(QLocale().toString(QDate(now.year, now.month, now.day), QLocale::ShortFormat)),
        kBodyPoints, false, false);
    out.append(printRow({QStringLiteral("Folder/Envelope"), QStringLiteral("Budgeted In"),
                         QStringLiteral("Budgeted Out"), QStringLiteral("Balance")}),
               kBodyPoints, true, true);
    // The totals add up the folders that are in no other folder: an inner folder is listed
    // on its own, but its parent's amounts already take it in.
    std::int64_t limits = 0;
    std::int64_t budgeted = 0;
    std::int64_t balances = 0;
    for (const AccountBase* item : budget.itemsOfType(ItemType::Folder)) {
        const auto* folder = static_cast<const AccountGroup*>(item);
        if (folder->isHidden() || onlyHoldsCardCharges(*folder))
            continue;
        out.append(printRow({folder->getName(), magnitude(folder->expenseLimit()),
                             magnitude(folder->totalBudgeted()),
                             formatAmount(folder->totalBalance(), true)}),
                   kBodyPoints, true, false);
        if (!folder->getParent()) {
            const std::int64_t limit = folder->expenseLimit();
            const std::int64_t plan = folder->totalBudgeted();
            limits += limit < 0 ? -limit : limit;
            budgeted += plan < 0 ? -plan : plan;
            balances += folder->totalBalance();
        }
        const auto& children = folder->children();
        // Stripes follow the position in the folder, so skipped children keep their place.
        for (size_t k = 0; k < children.size(); ++k) {
            const AccountBase* child = children[k];
            if (child->getType() != ItemType::Envelope || child->isHidden())
                continue;
            out.append(printRow({child->getName(), QString(), magnitude(child->getBudgeted()),
                                 formatAmount(child->getBalance(), true)}),
                       kBodyPoints, false, false, k % 2 == 0 ? kStripe : QColor(Qt::white));
        }
        out.append(QStringLiteral("\n"), kBodyPoints, true, false);
    }
    out.append(printRow({QStringLiteral("Totals"), formatAmount(clampAmount(limits), true),
                         formatAmount(clampAmount(budgeted), true),
                         formatAmount(clampAmount(balances), true)}),
               kBodyPoints, true, false);
}

bool printDocument(const QTextDocument& source, QPrinter& printer) {
    std::unique_ptr<QTextDocument> document(source.clone());
    QPainter painter;
    if (!painter.begin(&printer))
        return false;

    // The painter starts at the printable area's corner. Every side keeps at least the least
    // margin (a PDF has no unprintable edge at all, and text on the paper's edge reads
    // badly and is cut by most printers), and the unprintable margin on the left and top is
    // kept free on the right and bottom too.
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF printable = printer.pageRect(QPrinter::DevicePixel);
    const qreal least = kPrintMarginMm / 25.4 * printer.resolution();
    const qreal unprintableLeft = printable.left() - paper.left();
    const qreal unprintableTop = printable.top() - paper.top();
    const qreal left = qMax(unprintableLeft, least);
    const qreal top = qMax(unprintableTop, least);
    const qreal right = qMax(left, paper.right() - printable.right());
    const qreal bottom = qMax(top, paper.bottom() - printable.bottom());
    const QSizeF area(qMax<qreal>(0, paper.width() - left - right),
                      qMax<qreal>(0, paper.height() - top - bottom));
    const QPointF origin(left - unprintableLeft, top - unprintableTop);

    document->documentLayout()->setPaintDevice(&printer);
    document->setDocumentMargin(0);
    document->setPageSize(area);
    // A page lower than a line would hold nothing: every page would come out cut or empty.
    if (area.isEmpty() || tallestLine(*document) > area.height()) {
        printer.abort();
        painter.end();
        return false;
    }
    const int pages = document->pageCount();

    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !printer.newPage()) {
            // Abort while the print run is still open; ending it first would hand the pages
            // so far to the printer.
            printer.abort();
            painter.end();
            return false;
        }
        const QRectF window(0, page * area.height(), area.width(), area.height());
        painter.save();
        painter.translate(origin.x(), origin.y() - window.top());
        painter.setClipRect(window);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = window;
        context.palette.setColor(QPalette::Text, Qt::black);
        document->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return painter.end();
}

void renderBudgetPrintout(const Budget& budget, QPrinter& printer) {
    QTextDocument document;
    budgetPrintText(&document, budget);
    printDocument(document, printer);
}

PrintWindow::PrintWindow(const Budget& budget, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Print"));
    view_ = new QTextEdit(this);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QTextEdit::NoWrap);
    budgetPrintText(view_->document(), budget);
    view_->moveCursor(QTextCursor::Start);

    // Room for a whole row in the bold face, so the table reads as it prints.
    QFont rowFont = consolasFont();
    rowFont.setPointSizeF(kBodyPoints);
    rowFont.setBold(true);
    const QFontMetrics metrics(rowFont);
    view_->setMinimumWidth(
        metrics.horizontalAdvance(QString(kPrintRowWidth + 2, QLatin1Char('M'))) +
        view_->verticalScrollBar()->sizeHint().width() + 2 * view_->frameWidth());
    view_->setMinimumHeight(metrics.lineSpacing() * 12);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* print = buttons->addButton(QStringLiteral("Print"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    print->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        printOnChosenPrinter();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addWidget(buttons);
    resize(sizeHint().width(), metrics.lineSpacing() * 30);
}

bool PrintWindow::printOnChosenPrinter() {
    QPrinter printer(QPrinter::HighResolution);
    bool chosen = false;
    if (choosePrinter) {
        chosen = choosePrinter(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        dialog.setOptions(QAbstractPrintDialog::PrintToFile |
                          QAbstractPrintDialog::PrintShowPageSize);
        chosen = dialog.exec() == QDialog::Accepted;
    }
    if (!chosen)
        return false;
    printed_ = printDocument(*view_->document(), printer);
    return printed_;
}

bool printBudget(const Budget& budget, QWidget* parent, Prompter& /*prompter*/) {
    PrintWindow window(budget, parent);
    if (PrintWindow::beforeExec)
        PrintWindow::beforeExec(&window);
    else
        window.exec();
    return window.printed();
}
