#include "platform/datefield.h"

#include <QKeyEvent>
#include <QLocale>

DateField::DateField(QWidget* parent) : QDateEdit(parent) {
    setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
}

bool DateField::event(QEvent* event) {
    // Caught before the spin box's own Tab handling, which steps to the next section.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            movedOn_ = false;
            const bool back = key->key() == Qt::Key_Backtab || key->modifiers() & Qt::ShiftModifier;
            QWidget::focusNextPrevChild(!back);
            return true;
        }
    }
    return QDateEdit::event(event);
}

void DateField::focusInEvent(QFocusEvent* event) {
    QDateEdit::focusInEvent(event);
    movedOn_ = false;
    // Shift+Tab would otherwise land in the last section (the year).
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason)
        setSelectedSection(sectionAt(0));
}

void DateField::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const QChar c = text.size() == 1 ? text.at(0) : QChar();
    const bool separator = c.isPrint() && !c.isLetterOrNumber() && !c.isSpace();
    if (separator && movedOn_) {
        movedOn_ = false;
        event->accept();
        return;
    }
    const int section = currentSectionIndex();
    QDateEdit::keyPressEvent(event);
    movedOn_ = c.isDigit() && currentSectionIndex() != section;
}
