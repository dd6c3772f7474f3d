#pragma once
// Drop-down lists of accounts and envelopes in the operation dialogs: plain names, kept
// sorted by text ignoring case in the locale's order, the item id as each entry's data.

#include "model/items.h"

#include <vector>

class Budget;
class QComboBox;

// Accounts the transaction dialogs offer, in ascending id order: neither hidden nor
// read-only; credit-card accounts only when includeCards.
std::vector<Account*> pickableAccounts(const Budget& budget, bool includeCards);

// Adds an account that an edited transaction already uses although it is not offered
// (hidden, for instance), so that the edit cannot silently move the money elsewhere.
void keepAccountListed(std::vector<Account*>& accounts, const Budget& budget, ItemId id);

// What to select when the wanted account is not listed.
enum class AccountFallback {
    HighestId,          // the listed account with the highest id, else nothing
    HighestIdThenFirst, // the highest id other than the excluded one, else the first entry
    FirstEntry,         // the first entry of the sorted list
};

void fillAccountPicker(QComboBox* combo, const std::vector<Account*>& accounts, ItemId wanted,
                       AccountFallback fallback, ItemId excluded = kNoId);

// Every envelope of the budget, hidden and read-only ones included; the wanted envelope is
// selected if present, otherwise nothing.
void fillEnvelopePicker(QComboBox* combo, const Budget& budget, ItemId wanted);

// The given envelopes, sorted; the wanted one selected if listed, otherwise nothing.
void fillEnvelopePicker(QComboBox* combo, const std::vector<AccountEnvelope*>& envelopes,
                        ItemId wanted);

// The id of the selected entry, kNoId when nothing is selected.
ItemId selectedItemId(const QComboBox* combo);
// Selects the entry with this id; false (and nothing selected) when it is not listed.
bool selectItemId(QComboBox* combo, ItemId id);
