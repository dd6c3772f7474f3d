#pragma once
// A date field that takes a whole date typed in the locale's short form.

#include <QDateEdit>

// Typing "11/25/26" (or "25.11.26") gives that day: a separator typed right after a section
// filled itself and moved on is taken as that section's end, not as a step past the next
// one. Tab and Shift+Tab leave the field instead of stepping through its sections, and
// entering it by either selects its first section, so typing starts at the beginning.
class DateField : public QDateEdit {
public:
    explicit DateField(QWidget* parent = nullptr);

protected:
    bool event(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool movedOn_ = false; // the last digit filled its section and moved to the next
};
