#pragma once
// The window's answer to the Prompter interface: modal message boxes, owned by the dialog
// open at the time (else by the owner given here).

#include "model/prompter.h"

class QWidget;

class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    bool askYesNo(const QString& title, const QString& text, PromptIcon icon) override;
    void inform(const QString& title, const QString& text, PromptIcon icon) override;

private:
    QWidget* owner_;
};
