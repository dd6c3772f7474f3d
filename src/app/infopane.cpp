#include "app/infopane.h"

#include "platform/screen.h"

#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

namespace {
constexpr int kMargin = 6;
}

InfoPane::InfoPane(QWidget* parent)
    : QWidget(parent), addAccount_(new QPushButton(QStringLiteral("Add Account..."), this)),
      showReports_(new QPushButton(QStringLiteral("Show Reports..."), this)),
      unhide_(new QPushButton(QStringLiteral("Unhide..."), this)), text_(new QTextEdit(this)) {
    text_->setReadOnly(true);
    text_->setAutoFillBackground(true);
    QPalette p = text_->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    text_->setPalette(p);
    int x = kMargin;
    for (QPushButton* b : {addAccount_, showReports_, unhide_}) {
        b->resize(b->sizeHint());
        b->move(x, kMargin);
        x += b->width() + kMargin;
    }
    text_->move(kMargin, kMargin + addAccount_->height() + kMargin);
}

void InfoPane::resizeEvent(QResizeEvent*) {
    // The text keeps its top-left offset, the same margin on the right, and reaches the bottom.
    const QPoint topLeft = text_->pos();
    text_->setGeometry(topLeft.x(), topLeft.y(), qMax(0, width() - 2 * topLeft.x()),
                       qMax(0, height() - topLeft.y()));
}

void InfoPane::showReport(const StyledText& runs) {
    // The report is the pane's base content: a save while a dialog's help is up leaves the
    // fresh report in place rather than restoring an outdated one later.
    saved_.clear();
    render(runs);
}

void InfoPane::render(const StyledText& runs) {
    current_ = runs;
    renderRuns(text_->document(), runs, primaryScreenWidth());
    // Writing leaves the caret at the end, and the view follows the caret: put it back on
    // the heading so the start of a text too long for the pane is what shows.
    text_->moveCursor(QTextCursor::Start);
    text_->ensureCursorVisible();
}

void InfoPane::showHelp(const QString& heading, const QStringList& body) {
    saved_.push_back(current_);
    StyledText runs;
    runs.push_back(StyledRun{heading, true, true, false, true});
    for (const QString& paragraph : body)
        runs.push_back(StyledRun{paragraph, false, false, false, false});
    render(runs);
}

void InfoPane::restoreHelp() {
    if (saved_.empty())
        return;
    render(saved_.back());
    saved_.pop_back();
}

QString InfoPane::plainText() const {
    return text_->toPlainText();
}
