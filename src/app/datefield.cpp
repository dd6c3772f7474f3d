#include "app/datefield.h"

#include "model/clock.h"

#include <QDateEdit>
#include <QKeyEvent>
#include <QLocale>

namespace {
// Tab leaves the field like any other, instead of stepping through day, month and year
// (the arrow keys and the separators still do that).
class DateField : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
            const bool back =
                event->key() == Qt::Key_Backtab || event->modifiers() & Qt::ShiftModifier;
            QWidget::focusNextPrevChild(!back);
            event->accept();
            return;
        }
        QDateEdit::keyPressEvent(event);
    }
    bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }
};
} // namespace

QDateEdit* newDateField(QWidget* parent, const QDate& day) {
    auto* field = new DateField(parent);
    field->setCalendarPopup(true);
    field->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    field->setDate(day.isValid() ? day : dayOf(Clock::now()));
    return field;
}

QDate dayOf(const DateTime& moment) {
    return moment.isSet() ? QDate(moment.year, moment.month, moment.day) : QDate();
}

DateTime onDay(const DateTime& moment, const QDate& day) {
    if (!day.isValid())
        return moment;
    return fromQDateTime(QDateTime(day, QTime(moment.hour, moment.minute, moment.second,
                                              moment.milliseconds)));
}
