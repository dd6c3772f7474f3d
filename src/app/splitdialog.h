#pragma once
// "Split Transaction": divides one payment among envelopes. Each part has an envelope, an
// amount (shown as money spent, like the Transaction dialog) and a description; the amount
// still to divide shows as the parts are typed, and OK is offered only when the parts add up
// to the payment.

#include "model/split.h"

#include <QDialog>
#include <vector>

class Budget;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class SplitDialog : public QDialog {
    Q_OBJECT
public:
    // total and the parts' amounts in the stored sign (spending negative).
    SplitDialog(const Budget& budget, Amount total, const std::vector<SplitPart>& parts,
                QWidget* parent = nullptr);

    // The parts entered: rows with an amount (rows left empty are no part).
    std::vector<SplitPart> parts() const;
    // What is still to divide, in the stored sign.
    std::int64_t remaining() const;

    int rowCount() const;
    QComboBox* envelopeField(int row) const;
    QLineEdit* amountField(int row) const;
    QLineEdit* descriptionField(int row) const;
    QLabel* remainingLabel() const { return remaining_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QPushButton* distributeButton() const { return distribute_; }
    QPushButton* okButton() const { return ok_; }

    // Shares what is left evenly among the rows whose amount is empty or zero (the first
    // rows take the odd cents).
    void distribute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addRow(const SplitPart& part);
    void removeCurrentRow();
    void update();
    Amount typedAmount(int row) const; // stored sign
    bool rowIsEmpty(int row) const;

    const Budget& budget_;
    Amount total_;
    QTableWidget* table_;
    QLabel* remaining_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* distribute_;
    QPushButton* ok_;
};
