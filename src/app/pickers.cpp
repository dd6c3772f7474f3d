#include "app/pickers.h"

#include "gui/payeecompletion.h"
#include "model/budget.h"

#include <QComboBox>
#include <algorithm>

std::vector<Account*> pickableAccounts(const Budget& budget, bool includeCards) {
    std::vector<Account*> out;
    for (AccountBase* item : budget.itemsOfType(ItemType::Account)) {
        auto* account = static_cast<Account*>(item);
        if (account->isHidden() || account->isReadOnly())
            continue;
        if (!includeCards && account->isCCAccount())
            continue;
        out.push_back(account);
    }
    return out;
}

void keepAccountListed(std::vector<Account*>& accounts, const Budget& budget, ItemId id) {
    Account* account = budget.findAccount(id);
    if (!account || std::find(accounts.begin(), accounts.end(), account) != accounts.end())
        return;
    auto at = std::find_if(accounts.begin(), accounts.end(),
                           [id](const Account* a) { return a->id() > id; });
    accounts.insert(at, account);
}

void fillAccountPicker(QComboBox* combo, const std::vector<Account*>& accounts, ItemId wanted,
                       AccountFallback fallback, ItemId excluded) {
    combo->clear();
    for (const Account* account : accounts)
        insertSorted(combo, account->getName(), QVariant::fromValue<quint32>(account->id()));
    combo->setCurrentIndex(-1);
    if (accounts.empty() || selectItemId(combo, wanted))
        return;

    // Accounts arrive in ascending id order, so the highest id is found from the back.
    const Account* highest = nullptr;
    for (auto it = accounts.rbegin(); it != accounts.rend(); ++it) {
        if (fallback == AccountFallback::HighestIdThenFirst && (*it)->id() == excluded)
            continue;
        highest = *it;
        break;
    }
    switch (fallback) {
    case AccountFallback::HighestId:
        if (highest)
            selectItemId(combo, highest->id());
        break;
    case AccountFallback::HighestIdThenFirst:
        if (!highest || !selectItemId(combo, highest->id()))
            combo->setCurrentIndex(0);
        break;
    case AccountFallback::FirstEntry:
        combo->setCurrentIndex(0);
        break;
    }
}

void fillEnvelopePicker(QComboBox* combo, const Budget& budget, ItemId wanted) {
    combo->clear();
    for (const AccountBase* envelope : budget.itemsOfType(ItemType::Envelope))
        insertSorted(combo, envelope->getName(), QVariant::fromValue<quint32>(envelope->id()));
    combo->setCurrentIndex(-1);
    selectItemId(combo, wanted);
}

void fillEnvelopePicker(QComboBox* combo, const std::vector<AccountEnvelope*>& envelopes,
                        ItemId wanted) {
    combo->clear();
    for (const AccountEnvelope* envelope : envelopes)
        insertSorted(combo, envelope->getName(), QVariant::fromValue<quint32>(envelope->id()));
    combo->setCurrentIndex(-1);
    selectItemId(combo, wanted);
}

ItemId selectedItemId(const QComboBox* combo) {
    const int index = combo->currentIndex();
    if (index < 0)
        return kNoId;
    return combo->itemData(index).value<quint32>();
}

bool selectItemId(QComboBox* combo, ItemId id) {
    if (id == kNoId) {
        combo->setCurrentIndex(-1);
        return false;
    }
    const int index = combo->findData(QVariant::fromValue<quint32>(id));
    combo->setCurrentIndex(index);
    return index >= 0;
}
