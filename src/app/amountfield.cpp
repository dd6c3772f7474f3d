#include "app/amountfield.h"

#include <QComboBox>
#include <QLineEdit>

void formatAmountIntoControl(QLineEdit* field, Amount amount) {
    field->setText(formatAmount(amount, true));
}

Amount readAmountFromControl(const QLineEdit* field) {
    return parseAmount(readFieldText(field));
}

QString readFieldText(const QLineEdit* field) {
    return field->text().left(kFieldTextLimit);
}

QString readFieldText(const QComboBox* field) {
    return field->currentText().left(kFieldTextLimit);
}

void limitFieldText(QLineEdit* field) {
    field->setMaxLength(kFieldTextLimit);
}

Amount negatedAmount(Amount a) {
    return clampAmount(-static_cast<std::int64_t>(a));
}

Amount amountMagnitude(Amount a) {
    return a < 0 ? negatedAmount(a) : a;
}
