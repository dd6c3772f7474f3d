#pragma once
// The whole budget as text, read through the model's public accessors only: every item field,
// folder children, display orders, rules and transactions in stored order. Two budgets are
// the same when their dumps are.

#include "model/budget.h"
#include "testdates.h"

#include <QStringList>

inline QString budgetDump(const Budget& budget) {
    QStringList lines;
    auto id = [](ItemId v) { return v == kNoId ? QStringLiteral("-") : QString::number(v); };
    for (const auto& [key, item] : budget.registry()) {
        QString line = QStringLiteral("item %1 type=%2 name=%3 balance=%4 budgeted=%5 hidden=%6 "
                                      "readOnly=%7")
                           .arg(key)
                           .arg(int(item->getType()))
                           .arg(item->getName())
                           .arg(item->getBalance())
                           .arg(item->getBudgeted())
                           .arg(item->isHidden())
                           .arg(item->isReadOnly());
        if (item->id() != key)
            line += QStringLiteral(" ownId=%1").arg(item->id());
        if (const Account* a = budget.findAccount(key)) {
            line += QStringLiteral(" inBudget=%1 card=%2 lastImport=%3 csv=%4")
                        .arg(a->contributesToBudget())
                        .arg(a->isCCAccount())
                        .arg(dateText(a->lastImport()), a->statementColumns());
        } else if (const AccountGroup* f = budget.findFolder(key)) {
            line += QStringLiteral(" limit=%1 children=").arg(f->expenseLimit());
            for (const AccountBase* child : f->children())
                line += id(child->id()) + u',';
        } else if (const AccountEnvelope* e = budget.findEnvelope(key)) {
            line += QStringLiteral(" payee=%1 from=%2 to=%3 default=%4 expense=%5 virtual=%6 "
                                   "goal=%7 created=%8")
                        .arg(e->defaultPayee(), id(e->defaultPayFromAccount()),
                             id(e->defaultPayToAccount()))
                        .arg(e->defaultAmount())
                        .arg(e->isExpense())
                        .arg(e->virtualAccount())
                        .arg(e->savingsGoal())
                        .arg(dateText(e->createdDate()));
        }
        lines << line;
    }
    QString order = QStringLiteral("accounts:");
    for (const Account* a : budget.accountOrder())
        order += u' ' + id(a->id());
    order += QStringLiteral(" folders:");
    for (const AccountGroup* f : budget.folderOrder())
        order += u' ' + id(f->id());
    lines << order;
    for (const PayeeMappingRule& r : budget.rules().rules())
        lines << QStringLiteral("rule %1 -> %2 in %3%4")
                     .arg(r.match, r.payee, id(r.envelopeId),
                          r.deposit ? QStringLiteral(" deposit") : QString());
    for (const auto& t : budget.transactions())
        lines << QStringLiteral("tx %1 %2 from=%3 to=%4 env=%5 %6|%7|%8|%9")
                     .arg(int(t->type))
                     .arg(t->amount)
                     .arg(id(t->accountFrom), id(t->accountTo), id(t->category), t->payee,
                          t->description, dateText(t->transactionTime), t->bankId);
    return lines.join(u'\n');
}
