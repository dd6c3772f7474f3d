#include "app/amountfield.h"

#include <QComboBox>
#include <QLineEdit>
#include <QVariant>

namespace {
// What formatAmountIntoControl last put into a field, so that a field left untouched reads
// back the same amount.
constexpr char kShownAmount[] = "tallykeepShownAmount";
constexpr char kShownText[] = "tallykeepShownText";
} // namespace

void formatAmountIntoControl(QLineEdit* field, Amount amount) {
    const QString text = formatAmount(amount, true);
    field->setText(text);
    field->setProperty(kShownAmount, QVariant::fromValue<qint32>(amount));
    field->setProperty(kShownText, text);
}

Amount readAmountFromControl(const QLineEdit* field) {
    // A field left as it was shown gives back exactly what was put in, whatever the text.
    const QVariant shown = field->property(kShownAmount);
    if (shown.isValid() && field->text() == field->property(kShownText).toString())
        return shown.value<qint32>();
    return parseTypedAmount(readFieldText(field));
}

QString cutText(const QString& text, int limit) {
    if (text.size() <= limit)
        return text;
    // A lone half of an emoji or other supplementary character is no character at all.
    if (limit > 0 && text.at(limit - 1).isHighSurrogate())
        --limit;
    return text.left(limit);
}

QString readFieldText(const QLineEdit* field) {
    return cutText(field->text(), kFieldTextLimit);
}

QString readFieldText(const QComboBox* field) {
    return cutText(field->currentText(), kFieldTextLimit);
}

void limitFieldText(QLineEdit* field) {
    field->setMaxLength(kFieldTextLimit);
}
