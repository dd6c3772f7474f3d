#include "budgetgen.h"

#include "model/clock.h"

#include <QStringList>
#include <cstdint>

namespace {
// A small, fully specified generator so every platform builds the same budget.
class Random {
public:
    explicit Random(quint32 seed) : state_(seed * 2654435761u + 0x9E3779B97F4A7C15ull) {}
    quint32 next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return quint32(state_ >> 32);
    }
    int below(int n) { return int(next() % quint32(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

private:
    std::uint64_t state_;
};

const QStringList kAccountNames = {QStringLiteral("Checking"),
                                   QStringLiteral("Savings"),
                                   QStringLiteral("Visa"),
                                   QStringLiteral("Cash"),
                                   QStringLiteral("Joint checking"),
                                   QStringLiteral("Emergency fund"),
                                   QStringLiteral("Holiday savings"),
                                   QStringLiteral("Brokerage"),
                                   QStringLiteral("Retirement"),
                                   QStringLiteral("Old savings")};

const QStringList kFolderNames = {
    QStringLiteral("15th"),      QStringLiteral("31st"),          QStringLiteral("Home"),
    QStringLiteral("Car"),       QStringLiteral("Food"),          QStringLiteral("Health"),
    QStringLiteral("Kids"),      QStringLiteral("Pets"),          QStringLiteral("Fun"),
    QStringLiteral("Travel"),    QStringLiteral("Gifts"),         QStringLiteral("Utilities"),
    QStringLiteral("Insurance"), QStringLiteral("Subscriptions"), QStringLiteral("Clothing"),
    QStringLiteral("Education"), QStringLiteral("Savings goals"), QStringLiteral("Taxes"),
    QStringLiteral("Charity"),   QStringLiteral("Miscellaneous")};

const QStringList kEnvelopeWords = {
    QStringLiteral("Groceries"), QStringLiteral("Rent"),      QStringLiteral("Fuel"),
    QStringLiteral("Dining"),    QStringLiteral("Power"),     QStringLiteral("Water"),
    QStringLiteral("Internet"),  QStringLiteral("Phone"),     QStringLiteral("Doctor"),
    QStringLiteral("Pharmacy"),  QStringLiteral("Books"),     QStringLiteral("Music"),
    QStringLiteral("Vet"),       QStringLiteral("Repairs"),   QStringLiteral("Parking"),
    QStringLiteral("Hobbies"),   QStringLiteral("Shoes"),     QStringLiteral("School"),
    QStringLiteral("Flights"),   QStringLiteral("Hotels"),    QStringLiteral("Birthday"),
    QStringLiteral("Garden"),    QStringLiteral("Furniture"), QStringLiteral("Haircut"),
    QStringLiteral("Donations")};

const QStringList kPayeeStems = {
    QStringLiteral("Walmart"),     QStringLiteral("Costco"),    QStringLiteral("Shell"),
    QStringLiteral("Exxon"),       QStringLiteral("Safeway"),   QStringLiteral("Target"),
    QStringLiteral("Kroger"),      QStringLiteral("Starbucks"), QStringLiteral("Amazon"),
    QStringLiteral("Home Depot"),  QStringLiteral("Lowes"),     QStringLiteral("Walgreens"),
    QStringLiteral("CVS"),         QStringLiteral("Chevron"),   QStringLiteral("Trader Joes"),
    QStringLiteral("Whole Foods"), QStringLiteral("IKEA"),      QStringLiteral("Best Buy"),
    QStringLiteral("Netflix"),     QStringLiteral("Spotify"),   QStringLiteral("City Water"),
    QStringLiteral("Power Co"),    QStringLiteral("Telco"),     QStringLiteral("Dr Smith"),
    QStringLiteral("Pet Clinic"),  QStringLiteral("Bookshop"),  QStringLiteral("Cinema"),
    QStringLiteral("Airline"),     QStringLiteral("Hotel"),     QStringLiteral("Pizza Place")};

const QStringList kPayeeSuffixes = {QString(),
                                    QStringLiteral(" #1021"),
                                    QStringLiteral(" #2207"),
                                    QStringLiteral(" Downtown"),
                                    QStringLiteral(" Online"),
                                    QStringLiteral(" Store 44"),
                                    QStringLiteral(" Main St"),
                                    QStringLiteral(" 90210"),
                                    QStringLiteral(" Express"),
                                    QStringLiteral(" Outlet")};

DateTime fromSerial(double serial) {
    return fromSerialDay(serial);
}
} // namespace

std::unique_ptr<Budget> generateBudget(int transactionCount, quint32 seed) {
    Random random(seed);
    auto budget = std::make_unique<Budget>();
    const DateTime now = Clock::now();
    const double endSerial = toSerialDay(now);
    const double startSerial = endSerial - 3 * 365.0;
    const DateTime start = fromSerial(startSerial);

    // Accounts: index 2 is the card, 7 and 8 are off-budget, 9 is hidden.
    std::vector<Account*> accounts;
    for (int i = 0; i < kAccountNames.size(); ++i) {
        Account* account = budget->createAccount();
        account->setName(kAccountNames[i]);
        account->setLastImport(start);
        account->adjustBalance(i == 2 ? 0 : random.between(100000, 2000000));
        account->setContributesToBudget(i != 7 && i != 8);
        if (i == 9) {
            account->setHidden(true);
            account->setContributesToBudget(false);
        } else {
            budget->showTopLevel(account);
        }
        accounts.push_back(account);
    }
    Account* card = accounts[2];
    card->setCCAccount(true);

    std::vector<AccountGroup*> folders;
    for (const QString& name : kFolderNames) {
        AccountGroup* folder = budget->createFolder();
        folder->setName(name);
        budget->showTopLevel(folder);
        folders.push_back(folder);
    }
    ensureCardChargesEnvelope(*budget, card);

    QStringList payees;
    for (const QString& stem : kPayeeStems) {
        for (const QString& suffix : kPayeeSuffixes)
            payees << stem + suffix;
    }

    std::vector<AccountEnvelope*> envelopes;
    for (int i = 0; i < 250; ++i) {
        AccountEnvelope* envelope = budget->createEnvelope();
        envelope->setName(kEnvelopeWords[i % kEnvelopeWords.size()] + QLatin1Char(' ') +
                          QString::number(i / kEnvelopeWords.size() + 1));
        envelope->setVirtualAccount(true);
        envelope->setCreatedDate(start);
        if (i % 3 != 0)
            envelope->setBudgeted(-random.between(20, 600) * 100);
        if (i % 10 == 0)
            envelope->setSavingsGoal(random.between(500, 5000) * 100);
        if (i % 4 == 0)
            envelope->setDefaultPayee(payees[random.below(payees.size())]);
        if (i % 5 == 0) {
            envelope->setDefaultPayFromAccount(accounts[random.below(4)]->id());
            envelope->setDefaultAmount(-random.between(100, 20000));
        }
        envelope->adjustBalance(random.between(0, 100000));
        if (i % 97 == 96)
            envelope->setHidden(true);
        folders[i % folders.size()]->addChild(envelope);
        envelopes.push_back(envelope);
    }

    for (int i = 0; i < 40; ++i) {
        // Every seventh payee, so the 40 patterns are distinct and spread over the stems.
        const QString& payee = payees[(i * 7) % payees.size()];
        budget->rules().addMappingRule(payee.toUpper() + QLatin1Char('*'),
                                       envelopes[random.below(int(envelopes.size()))]->id(), false,
                                       payee.section(QLatin1Char(' '), 0, 0));
    }

    // Spending accounts: checking, savings, the card, cash, joint checking.
    const int spenders[] = {0, 1, 2, 3, 4};
    const int banks[] = {0, 1, 3, 4, 5, 6};
    const double step = transactionCount > 0 ? (endSerial - startSerial) / transactionCount : 0;
    for (int i = 0; i < transactionCount; ++i) {
        const DateTime when = fromSerial(startSerial + step * (i + random.below(1000) / 1000.0));
        const int kind = random.below(100);
        const Transaction* t = nullptr;
        if (kind < 75) {
            Account* from = accounts[spenders[random.below(5)]];
            AccountEnvelope* envelope = envelopes[random.below(int(envelopes.size()))];
            t = createTransaction(*budget, TransactionType::Expense, -random.between(100, 25000),
                                  from->id(), kNoId, envelope->id(),
                                  payees[random.below(payees.size())], QString(), when);
        } else if (kind < 85) {
            Account* to = accounts[banks[random.below(2)]];
            const Amount amount = random.between(50000, 400000);
            t = createTransaction(*budget, TransactionType::Deposit, amount, kNoId, to->id(), kNoId,
                                  QStringLiteral("Employer"), QStringLiteral("Pay"), when);
            // Deposits are handed out to a few envelopes, as the user would.
            for (int k = 0; k < 5; ++k)
                envelopes[random.below(int(envelopes.size()))]->adjustBalance(amount / 6);
        } else if (kind < 93) {
            Account* from = accounts[banks[random.below(6)]];
            Account* to = accounts[banks[random.below(6)]];
            if (from == to)
                to = accounts[0] == from ? accounts[1] : accounts[0];
            t = createTransaction(*budget, TransactionType::Transfer, random.between(1000, 100000),
                                  from->id(), to->id(), kNoId, QStringLiteral("Transfer"),
                                  QString(), when);
        } else {
            t = createTransaction(*budget, TransactionType::CCPayment,
                                  -random.between(5000, 200000), accounts[0]->id(), card->id(),
                                  kChargesEnvelopeId, card->getName(), QString(), when);
        }
        applyTransaction(*budget, *t, false);
    }
    return budget;
}
