#pragma once
// The step before the review of a CSV statement: how the file's columns are read (delimiter,
// header row, date order, decimal separator, which column is what), with a preview of the
// first rows as they will be imported.

#include "import/statementreader.h"

#include <QByteArray>
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

class CsvMappingDialog : public QDialog {
    Q_OBJECT
public:
    CsvMappingDialog(const QByteArray& bytes, const CsvColumns& start, QWidget* parent = nullptr);

    CsvColumns columns() const { return columns_; }

    QComboBox* delimiterField() const { return delimiter_; }
    QCheckBox* headerField() const { return header_; }
    QComboBox* dateOrderField() const { return dateOrder_; }
    QComboBox* decimalField() const { return decimal_; }
    // "Amounts are charges": positive amounts are money out (a credit card's statement).
    QCheckBox* chargesField() const { return charges_; }
    // Date, payee, memo, amount, debit, credit; entry 0 is "(none)", entry n is column n.
    QComboBox* roleField(int role) const { return roles_[role]; }
    QTableWidget* preview() const { return preview_; }
    QLabel* summary() const { return summary_; }
    QPushButton* okButton() const { return ok_; }

    enum Role {
        DateRole,
        PayeeRole,
        MemoRole,
        AmountRole,
        SignRole,
        DebitRole,
        CreditRole,
        RoleCount
    };

    static constexpr int kPreviewRows = 12;

private:
    void fillColumnChoices();
    void readFields();
    void updatePreview();

    QByteArray bytes_;
    CsvColumns columns_;
    bool busy_ = false;
    QComboBox* delimiter_ = nullptr;
    QCheckBox* header_ = nullptr;
    QComboBox* dateOrder_ = nullptr;
    QComboBox* decimal_ = nullptr;
    QCheckBox* charges_ = nullptr;
    QComboBox* roles_[RoleCount] = {};
    QTableWidget* preview_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* ok_ = nullptr;
};
