#pragma once
// The information pane: three buttons above a read-only rich-text area that shows the
// "State of the Budget" report, or an open dialog's help text.

#include "platform/richtext.h"

#include <QStringList>
#include <QWidget>
#include <vector>

class QPushButton;
class QTextEdit;

class InfoPane : public QWidget {
    Q_OBJECT
public:
    explicit InfoPane(QWidget* parent = nullptr);

    QPushButton* addAccountButton() const { return addAccount_; }
    QPushButton* showReportsButton() const { return showReports_; }
    QPushButton* unhideButton() const { return unhide_; }
    QTextEdit* textArea() const { return text_; }

    // The "State of the Budget" report, rebuilt after every save.
    void showReport(const StyledText& runs);
    // A dialog's heading and paragraphs; restoreHelp() brings back what was shown before.
    void showHelp(const QString& heading, const QStringList& body);
    void restoreHelp();
    QString plainText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void render(const StyledText& runs);

    QPushButton* addAccount_;
    QPushButton* showReports_;
    QPushButton* unhide_;
    QTextEdit* text_;
    StyledText current_;
    std::vector<StyledText> saved_; // one per open dialog, innermost last
};
