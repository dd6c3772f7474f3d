#pragma once
// The "Schedule" dialog: the transaction a schedule repeats and when it comes.

#include "model/schedule.h"

#include <QDialog>

class Budget;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

class ScheduleDialog : public QDialog {
    Q_OBJECT
public:
    // canRemove: an existing schedule, which "Delete schedule" may end.
    ScheduleDialog(const Budget& budget, const Schedule& schedule, bool canRemove,
                   QWidget* parent = nullptr);

    // The schedule as the fields say (amount with the stored sign of its type).
    Schedule schedule() const;
    bool removeChosen() const { return remove_; }

    QComboBox* typeField() const { return type_; }
    QLineEdit* amountField() const { return amount_; }
    QLineEdit* payeeField() const { return payee_; }
    QComboBox* fromField() const { return from_; }
    QComboBox* toField() const { return to_; }
    QComboBox* envelopeField() const { return envelope_; }
    QSpinBox* everyField() const { return every_; }
    QComboBox* unitField() const { return unit_; }
    QComboBox* dayField() const { return day_; }
    QDateEdit* firstField() const { return first_; }
    QRadioButton* endsOnField() const { return endsOn_; }
    QDateEdit* untilField() const { return until_; }
    QRadioButton* endsAfterField() const { return endsAfter_; }
    QSpinBox* countField() const { return count_; }
    QComboBox* weekendField() const { return weekend_; }
    QCheckBox* aboutField() const { return about_; }
    QSpinBox* aboutPercentField() const { return aboutPercent_; }
    QRadioButton* automaticField() const { return automatic_; }
    QRadioButton* askField() const { return ask_; }
    QLabel* previewLine() const { return preview_; }
    QPushButton* okButton() const { return ok_; }

private:
    void update();

    const Budget& budget_;
    Schedule original_;
    bool remove_ = false;
    QComboBox* type_;
    QLineEdit* amount_;
    QLineEdit* payee_;
    QComboBox* from_;
    QComboBox* to_;
    QComboBox* envelope_;
    QLineEdit* description_;
    QSpinBox* every_;
    QComboBox* unit_;
    QComboBox* day_;
    QDateEdit* first_;
    QRadioButton* endsNever_;
    QRadioButton* endsOn_;
    QDateEdit* until_;
    QRadioButton* endsAfter_;
    QSpinBox* count_;
    QComboBox* weekend_;
    QCheckBox* about_;
    QSpinBox* aboutPercent_;
    QRadioButton* automatic_;
    QRadioButton* ask_;
    QLabel* preview_;
    QPushButton* ok_;
};
