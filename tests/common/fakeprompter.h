#pragma once
// A Prompter for tests: answers Yes/No from a script and records every question and message.

#include "model/prompter.h"

#include <QList>
#include <QString>

struct PromptRecord {
    enum Kind { Question, Message } kind;
    QString title;
    QString text;
    PromptIcon icon;
};

class FakePrompter : public Prompter {
public:
    // Answers given to askYesNo in order; when the script runs out, defaultAnswer is used.
    QList<bool> answers;
    bool defaultAnswer = true;
    QList<PromptRecord> records;

    bool askYesNo(const QString& title, const QString& text, PromptIcon icon) override;
    void inform(const QString& title, const QString& text, PromptIcon icon) override;

    QStringList titles() const;
    QStringList texts() const;
};
