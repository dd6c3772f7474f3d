#include "fakeprompter.h"

bool FakePrompter::askYesNo(const QString& title, const QString& text, PromptIcon icon) {
    records.append({PromptRecord::Question, title, text, icon});
    return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
}

void FakePrompter::inform(const QString& title, const QString& text, PromptIcon icon) {
    records.append({PromptRecord::Message, title, text, icon});
}

QStringList FakePrompter::titles() const {
    QStringList out;
    for (const auto& r : records)
        out << r.title;
    return out;
}

QStringList FakePrompter::texts() const {
    QStringList out;
    for (const auto& r : records)
        out << r.text;
    return out;
}
