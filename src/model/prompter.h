#pragma once
// Every question and message to the user goes through this interface: the main window
// answers with message boxes, tests with a scripted fake that records what was asked.

#include <QString>

enum class PromptIcon { Exclamation, Information, Error, Question, None };

class Prompter {
public:
    virtual ~Prompter() = default;
    // A modal Yes/No question; true for Yes.
    virtual bool askYesNo(const QString& title, const QString& text,
                          PromptIcon icon = PromptIcon::Exclamation) = 0;
    // A modal message with a single OK button.
    virtual void inform(const QString& title, const QString& text,
                        PromptIcon icon = PromptIcon::Information) = 0;
};
