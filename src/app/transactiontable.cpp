#include "app/transactiontable.h"

#include "app/commands.h"
#include "model/budget.h"
#include "platform/screen.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <numeric>
#include <set>
#include <unordered_map>

namespace {
const QString kHeaders[TransactionColumnCount] = {
    QStringLiteral("Date"),           QStringLiteral("Account"),     QStringLiteral("Payee"),
    QStringLiteral("Envelope"),       QStringLiteral("Description"), QStringLiteral("Outflow"),
    QStringLiteral("Inflow"),         QStringLiteral("Balance"),     QStringLiteral("C"),
    QStringLiteral("Cleared balance")};

QString accountName(const Budget& budget, ItemId id) {
    const Account* account = budget.findAccount(id);
    return account ? account->getName() : QString();
}

// Orders by date and time; packing the fields avoids a calendar conversion per comparison.
quint64 timeKey(const DateTime& dt) {
    quint64 key = dt.year;
    key = key * 16 + dt.month;
    key = key * 32 + dt.day;
    key = key * 32 + dt.hour;
    key = key * 64 + dt.minute;
    key = key * 64 + dt.second;
    return key * 1024 + dt.milliseconds;
}

// Outflow and Inflow sort (and size) by the magnitude they show; an empty cell ranks lowest.
std::int64_t flowKey(std::int64_t amount, int column) {
    if (column == OutflowColumn)
        return amount <= 0 ? -amount : -1;
    return amount > 0 ? amount : -1;
}
} // namespace

QString clearedGlyph(ClearedState state) {
    switch (state) {
    case ClearedState::Cleared:
        return QStringLiteral("\u2713");
    case ClearedState::Reconciled:
        return QStringLiteral("\U0001F512");
    case ClearedState::Uncleared:
        break;
    }
    return {};
}

std::int64_t shownAmount(const Transaction& t, ItemId sideAccount) {
    return sideAccount == kNoId ? std::int64_t(t.amount) : accountChange(t, sideAccount);
}

QString transactionCellText(const Budget& budget, const Transaction& t, int column,
                            ItemId sideAccount) {
    switch (column) {
    case DateColumn:
        return formatDate(t.transactionTime, DateStyle::ShortDate);
    case AccountColumn: {
        // The paying account of an expense, the receiving one of a deposit, both otherwise.
        switch (t.type) {
        case TransactionType::Expense:
            return accountName(budget, t.accountFrom);
        case TransactionType::Deposit:
            return accountName(budget, t.accountTo);
        case TransactionType::Transfer:
        case TransactionType::CCPayment:
            break;
        }
        const QString from = accountName(budget, t.accountFrom);
        const QString to = accountName(budget, t.accountTo);
        if (from.isEmpty() || to.isEmpty())
            return from + to;
        return from + QStringLiteral(" -> ") + to;
    }
    case PayeeColumn: {
        if (t.type == TransactionType::Expense)
            return t.payee;
        const QString toName = accountName(budget, t.accountTo);
        if (const Account* from = budget.findAccount(t.accountFrom))
            return from->getName() + QStringLiteral("->") + toName;
        if (!t.payee.isEmpty())
            return t.payee + QStringLiteral("->") + toName;
        return toName;
    }
    case EnvelopeColumn: {
        if (const AccountEnvelope* envelope = budget.findEnvelope(t.category))
            return envelope->getName();
        switch (t.type) {
        case TransactionType::Expense:
            return QStringLiteral("--envelope--");
        case TransactionType::Deposit:
            return QStringLiteral("--deposit--");
        case TransactionType::Transfer:
            return QStringLiteral("--transfer--");
        case TransactionType::CCPayment:
            return QStringLiteral("--CC Payment--");
        }
        return {};
    }
    case DescriptionColumn:
        return t.description;
    case OutflowColumn:
    case InflowColumn: {
        const std::int64_t key = flowKey(shownAmount(t, sideAccount), column);
        return key >= 0 ? formatAmount(clampAmount(key), true) : QString();
    }
    default:
        return {};
    }
}

void TransactionTexts::followLocale() {
    const QLocale current;
    if (current == locale_ && current.name() == locale_.name())
        return;
    locale_ = current;
    dates_.clear();
    amounts_.clear();
    amountCharacters_.clear();
}

bool TransactionTexts::couldBeInAmount(QStringView search) {
    // Every digit, the separators and the currency sign.
    if (amountCharacters_.isEmpty())
        amountCharacters_ = formatAmount(1234567890, true).toCaseFolded();
    for (const QChar c : search)
        if (!amountCharacters_.contains(c.toCaseFolded()))
            return false;
    return true;
}

quint32 TransactionTexts::dateKey(const DateTime& dt) {
    return (quint32(dt.year) << 9) | (quint32(dt.month & 15) << 5) | (dt.day & 31);
}

const QString& TransactionTexts::date(const DateTime& dt) {
    const quint32 key = dateKey(dt);
    auto found = dates_.find(key);
    if (found == dates_.end())
        found = dates_.insert(key, formatDate(dt, DateStyle::ShortDate));
    return *found;
}

const QString& TransactionTexts::amount(Amount value) {
    auto found = amounts_.find(value);
    if (found == amounts_.end())
        found = amounts_.insert(value, formatAmount(value, true));
    return *found;
}

TransactionSearch::TransactionSearch(const Budget& budget, const QString& search,
                                     TransactionTexts& texts)
    : budget_(budget), texts_(texts), matcher_(search, Qt::CaseInsensitive),
      empty_(search.isEmpty()), amountsPossible_(texts.couldBeInAmount(search)) {}

bool TransactionSearch::has(QStringView text) const {
    return matcher_.indexIn(text) >= 0;
}

bool TransactionSearch::matchesAmount(std::int64_t amount) {
    return !empty_ && amountsPossible_ && has(texts_.amount(amountMagnitude(amount)));
}

bool TransactionSearch::matches(const Transaction& t) {
    if (empty_)
        return true;
    if (has(t.description) || has(t.payee))
        return true;
    // Dates and envelopes repeat across the history: each is tried once.
    const auto once = [](auto& memo, auto key, auto test) {
        auto found = memo.find(key);
        if (found == memo.end())
            found = memo.emplace(key, test()).first;
        return found->second;
    };
    if (once(dates_, TransactionTexts::dateKey(t.transactionTime),
             [&] { return has(texts_.date(t.transactionTime)); }))
        return true;
    if (amountsPossible_ && has(texts_.amount(amountMagnitude(t.amount))))
        return true;
    return once(envelopes_, t.category, [&] {
        const AccountEnvelope* envelope = budget_.findEnvelope(t.category);
        return envelope && has(envelope->getName());
    });
}

std::vector<TransactionRow> selectTransactions(const Budget& budget, const TransactionFilter& f,
                                               TransactionTexts& texts) {
    std::vector<TransactionRow> rows;
    if (f.byAccount && !f.account)
        return rows;
    std::set<ItemId> envelopeIds;
    if (f.byEnvelope) {
        if (!f.envelopeItem)
            return rows;
        f.envelopeItem->collectIds(envelopeIds);
    }
    texts.followLocale();
    const auto& all = budget.transactions();

    // The account's balance after each of its transactions (by stored position): back from
    // today's balance, newest first by date (recording order among equal times).
    std::vector<std::int64_t> balanceAfter;
    std::vector<std::int64_t> clearedAfter;
    const ItemId side = f.byAccount ? f.account->id() : kNoId;
    if (side != kNoId) {
        std::vector<std::pair<quint64, std::size_t>> own;
        for (std::size_t i = 0; i < all.size(); ++i) {
            if (all[i]->accountFrom == side || all[i]->accountTo == side)
                own.emplace_back(timeKey(all[i]->transactionTime), i);
        }
        std::stable_sort(own.begin(), own.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        balanceAfter.resize(all.size());
        clearedAfter.resize(all.size());
        std::int64_t running = f.account->getBalance();
        // The bank's side: today's balance without what it has not booked yet.
        std::int64_t cleared = running;
        for (const auto& [key, i] : own)
            if (clearedStateOn(*all[i], side) == ClearedState::Uncleared)
                cleared -= accountChange(*all[i], side);
        for (auto it = own.rbegin(); it != own.rend(); ++it) {
            const Transaction& t = *all[it->second];
            const std::int64_t change = accountChange(t, side);
            balanceAfter[it->second] = running;
            clearedAfter[it->second] = cleared;
            running -= change;
            if (clearedStateOn(t, side) != ClearedState::Uncleared)
                cleared -= change;
        }
    }

    // The parts of each split payment, in stored order.
    std::unordered_map<quint32, std::vector<std::size_t>> splits;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i]->split != 0)
            splits[all[i]->split].push_back(i);
    std::set<quint32> shown;

    TransactionSearch search(budget, f.search, texts);
    const auto passes = [&](const Transaction* t) {
        if (f.byEnvelope && !envelopeIds.count(t->category))
            return false;
        if (side != kNoId && t->accountTo != side && t->accountFrom != side)
            return false;
        return search.matches(*t);
    };
    for (std::size_t i = all.size(); i-- > 0;) {
        const Transaction* t = all[i];
        const auto group = t->split != 0 ? splits.find(t->split) : splits.end();
        if (group == splits.end() || group->second.size() < 2) {
            if (passes(t) && side != kNoId)
                rows.push_back(TransactionRow{t, balanceAfter[i], -1, clearedAfter[i]});
            else if (passes(t))
                rows.push_back(TransactionRow{t});
            continue;
        }
        // The newest part stands for the payment: the balance after it is the balance after
        // the whole payment.
        if (!shown.insert(t->split).second)
            continue;
        const std::vector<std::size_t>& parts = group->second;
        std::int64_t payment = 0;
        for (std::size_t p : parts)
            payment += all[p]->amount;
        // The whole payment's amount is what the bank shows: a search finds it too.
        const bool byAmount = !f.byEnvelope && (side == kNoId || t->accountFrom == side) &&
                              search.matchesAmount(payment);
        if (!byAmount &&
            std::none_of(parts.begin(), parts.end(), [&](std::size_t p) { return passes(all[p]); }))
            continue;
        TransactionRow head{t};
        if (side != kNoId)
            head = TransactionRow{t, balanceAfter[i], -1, clearedAfter[i]};
        head.split = t->split;
        head.parts = int(parts.size());
        head.open = f.byEnvelope || !f.search.isEmpty();
        for (std::size_t p : parts)
            head.amount += shownAmount(*all[p], side);
        rows.push_back(head);
        for (std::size_t p : parts) {
            TransactionRow part{all[p]};
            part.split = t->split;
            part.part = true;
            rows.push_back(part);
        }
    }
    return rows;
}

std::vector<ProjectedEntry> selectProjected(const Budget& budget, const TransactionFilter& f,
                                            TransactionTexts& texts, const QDate& today) {
    if (!f.byAccount || !f.account || !today.isValid())
        return {};
    std::set<ItemId> envelopeIds;
    if (f.byEnvelope && f.envelopeItem)
        f.envelopeItem->collectIds(envelopeIds);
    std::vector<ProjectedEntry> all =
        projectedEntries(budget, f.account->id(), f.account->getBalance(), today);
    std::vector<ProjectedEntry> shown;
    TransactionSearch search(budget, f.search, texts);
    for (ProjectedEntry& p : all) {
        if (f.byEnvelope && !envelopeIds.count(p.transaction.category))
            continue;
        if (search.matches(p.transaction))
            shown.push_back(std::move(p));
    }
    return shown;
}

// ---------------------------------------------------------------------------------------

TransactionTableModel::TransactionTableModel(const Budget& budget, QObject* parent)
    : QAbstractTableModel(parent), budget_(budget) {}

void TransactionTableModel::setRows(std::vector<TransactionRow> rows, ItemId sideAccount,
                                    std::vector<ProjectedEntry> projected) {
    beginResetModel();
    rows_.clear();
    parts_.clear();
    std::set<quint32> present;
    found_.clear();
    for (TransactionRow& row : rows) {
        if (row.part) {
            parts_[row.split].push_back(row);
            continue;
        }
        if (row.isHead()) {
            present.insert(row.split);
            if (row.open)
                found_.insert(row.split);
        }
        rows_.push_back(row);
    }
    // Splits opened by hand stay open while they are listed.
    for (auto it = open_.begin(); it != open_.end();)
        it = present.count(*it) ? std::next(it) : open_.erase(it);
    projected_ = std::move(projected);
    for (std::size_t i = 0; i < projected_.size(); ++i)
        rows_.push_back(TransactionRow{&projected_[i].transaction, projected_[i].balance, int(i)});
    side_ = sideAccount;
    if ((sortColumn_ == BalanceColumn || sortColumn_ == ClearedBalanceColumn) && side_ == kNoId) {
        sortColumn_ = DateColumn;
        sortOrder_ = Qt::DescendingOrder;
    }
    sortRows();
    rebuildView();
    endResetModel();
}

void TransactionTableModel::rebuildView() {
    view_.clear();
    view_.reserve(rows_.size());
    for (const TransactionRow& row : rows_) {
        view_.push_back(row);
        if (row.isHead() && isOpen(row.split)) {
            const auto found = parts_.find(row.split);
            if (found != parts_.end())
                view_.insert(view_.end(), found->second.begin(), found->second.end());
        }
    }
}

bool TransactionTableModel::toggleSplit(int row) {
    const TransactionRow* head = rowAt(row);
    if (!head || !head->isHead())
        return false;
    const quint32 split = head->split;
    const auto found = parts_.find(split);
    const int count = found == parts_.end() ? 0 : int(found->second.size());
    if (isOpen(split)) {
        if (count > 0)
            beginRemoveRows({}, row + 1, row + count);
        open_.erase(split);
        found_.erase(split);
        rebuildView();
        if (count > 0)
            endRemoveRows();
    } else {
        if (count > 0)
            beginInsertRows({}, row + 1, row + count);
        open_.insert(split);
        rebuildView();
        if (count > 0)
            endInsertRows();
    }
    emit dataChanged(index(row, EnvelopeColumn), index(row, EnvelopeColumn));
    return true;
}

const TransactionRow* TransactionTableModel::rowAt(int row) const {
    return row >= 0 && row < int(view_.size()) ? &view_[row] : nullptr;
}

const Transaction* TransactionTableModel::transactionAt(int row) const {
    return row >= 0 && row < int(view_.size()) && view_[row].projected < 0 ? view_[row].t : nullptr;
}

const ProjectedEntry* TransactionTableModel::projectedAt(int row) const {
    if (row < 0 || row >= int(view_.size()) || view_[row].projected < 0)
        return nullptr;
    return &projected_[std::size_t(view_[row].projected)];
}

ItemId TransactionTableModel::clearedSideOf(const Transaction& t) const {
    return side_ != kNoId ? side_ : mainSideAccount(t);
}

int TransactionTableModel::rowOf(const Transaction* t) const {
    const auto found =
        std::find_if(view_.begin(), view_.end(), [t](const TransactionRow& r) { return r.t == t; });
    return found == view_.end() ? -1 : int(found - view_.begin());
}

std::int64_t TransactionTableModel::rowAmount(const TransactionRow& row) const {
    return row.isHead() ? row.amount : shownAmount(*row.t, side_);
}

void TransactionTableModel::rowChanged(const Transaction* t) {
    const int row = rowOf(t);
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, TransactionColumnCount - 1));
}

QColor TransactionTableModel::shadedColour(const QColor& base) {
    return QColor((base.red() - 25) & 0xFF, (base.green() - 25) & 0xFF, (base.blue() - 25) & 0xFF);
}

QString TransactionTableModel::text(const TransactionRow& row, int column) const {
    if (row.part) {
        // A part says only what is its own: its envelope, description and amount.
        switch (column) {
        case EnvelopeColumn:
            return QStringLiteral("    ") + transactionCellText(budget_, *row.t, column);
        case DescriptionColumn:
        case OutflowColumn:
        case InflowColumn:
            return transactionCellText(budget_, *row.t, column, side_);
        default:
            return {};
        }
    }
    if (row.isHead()) {
        switch (column) {
        case EnvelopeColumn:
            return QStringLiteral("Split (%1)").arg(row.parts);
        case DescriptionColumn: {
            // The parts' description when they share one.
            const auto found = parts_.find(row.split);
            if (found == parts_.end())
                return {};
            const QString& first = found->second.front().t->description;
            for (const TransactionRow& part : found->second)
                if (part.t->description != first)
                    return {};
            return first;
        }
        case OutflowColumn:
        case InflowColumn: {
            const std::int64_t key = flowKey(row.amount, column);
            return key >= 0 ? formatAmount(clampAmount(key), true) : QString();
        }
        default:
            break;
        }
    }
    if (column == DateColumn)
        return texts_.date(row.t->transactionTime);
    if (column == BalanceColumn)
        return side_ == kNoId ? QString() : formatAmount(clampAmount(row.balance), true);
    if (column == ClearedBalanceColumn || column == ClearedColumn) {
        // An occurrence not entered yet has nothing the bank could have booked.
        if (row.projected >= 0)
            return {};
    }
    if (column == ClearedBalanceColumn)
        return side_ == kNoId ? QString() : formatAmount(clampAmount(row.clearedBalance), true);
    if (column == ClearedColumn)
        return clearedGlyph(clearedStateOn(*row.t, clearedSideOf(*row.t)));
    return transactionCellText(budget_, *row.t, column, side_);
}

std::vector<int> TransactionTableModel::longestRows(int column, int count) {
    texts_.followLocale();
    // Amounts rank by size (more digits, then a minus sign); texts by their length.
    std::vector<std::pair<std::int64_t, int>> ranked;
    ranked.reserve(view_.size());
    for (int r = 0; r < int(view_.size()); ++r) {
        const TransactionRow& row = view_[r];
        std::int64_t rank;
        if (column == OutflowColumn || column == InflowColumn)
            rank = flowKey(rowAmount(row), column);
        else if (column == BalanceColumn)
            rank = (row.balance < 0 ? -row.balance : row.balance) * 2 + (row.balance < 0);
        else if (column == ClearedBalanceColumn)
            rank = (row.clearedBalance < 0 ? -row.clearedBalance : row.clearedBalance) * 2 +
                   (row.clearedBalance < 0);
        else if (column == ClearedColumn)
            rank = int(clearedStateOn(*row.t, clearedSideOf(*row.t)));
        else
            rank = text(row, column).size();
        ranked.emplace_back(rank, r);
    }
    const int n = qMin(count, int(ranked.size()));
    std::partial_sort(ranked.begin(), ranked.begin() + n, ranked.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<int> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back(ranked[i].second);
    return rows;
}

void TransactionTableModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= TransactionColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<const Transaction*> held;
    for (const QModelIndex& i : before)
        held.push_back(i.row() >= 0 && i.row() < int(view_.size()) ? view_[i.row()].t : nullptr);
    sortColumn_ = column;
    sortOrder_ = order;
    sortRows();
    rebuildView();
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after.append(index(rowOf(held[i]), before[i].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TransactionTableModel::sortRows() {
    // The projected rows stay together, beyond the newest transaction in date order (at the
    // top newest first) and after all rows otherwise. Their entries are oldest first.
    const auto split = std::stable_partition(
        rows_.begin(), rows_.end(), [](const TransactionRow& r) { return r.projected < 0; });
    std::vector<TransactionRow> ahead(split, rows_.end());
    rows_.erase(split, rows_.end());
    std::sort(ahead.begin(), ahead.end(), [](const TransactionRow& a, const TransactionRow& b) {
        return a.projected < b.projected;
    });
    sortTransactionRows();
    if (sortColumn_ == DateColumn && sortOrder_ == Qt::DescendingOrder)
        rows_.insert(rows_.begin(), ahead.rbegin(), ahead.rend());
    else
        rows_.insert(rows_.end(), ahead.begin(), ahead.end());
}

void TransactionTableModel::sortTransactionRows() {
    // Rows arrive newest first; a stable sort keeps that order among equal keys.
    const bool descending = sortOrder_ == Qt::DescendingOrder;
    const auto sortBy = [&](const auto& keys, auto less) {
        std::vector<int> order(rows_.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            return descending ? less(keys[b], keys[a]) : less(keys[a], keys[b]);
        });
        std::vector<TransactionRow> sorted;
        sorted.reserve(rows_.size());
        for (int i : order)
            sorted.push_back(rows_[i]);
        rows_ = std::move(sorted);
    };
    const auto numbers = [&](auto key) {
        std::vector<std::int64_t> keys;
        keys.reserve(rows_.size());
        for (const TransactionRow& row : rows_)
            keys.push_back(key(row));
        sortBy(keys, std::less<std::int64_t>());
    };
    switch (sortColumn_) {
    case DateColumn: {
        std::vector<quint64> keys;
        keys.reserve(rows_.size());
        for (const TransactionRow& row : rows_)
            keys.push_back(timeKey(row.t->transactionTime));
        // Usually stored in date order already: newest first needs no work then.
        const bool inOrder = descending ? std::is_sorted(keys.rbegin(), keys.rend())
                                        : std::is_sorted(keys.begin(), keys.end());
        if (!inOrder)
            sortBy(keys, std::less<quint64>());
        return;
    }
    case OutflowColumn:
    case InflowColumn:
        numbers([&](const TransactionRow& row) { return flowKey(rowAmount(row), sortColumn_); });
        return;
    case BalanceColumn:
        numbers([](const TransactionRow& row) { return row.balance; });
        return;
    case ClearedBalanceColumn:
        numbers([](const TransactionRow& row) { return row.clearedBalance; });
        return;
    case ClearedColumn:
        numbers([&](const TransactionRow& row) {
            return std::int64_t(clearedStateOn(*row.t, clearedSideOf(*row.t)));
        });
        return;
    default: {
        // Many rows share few texts: each distinct text is ranked once (texts equal but for
        // case share a rank), and the rows are sorted by rank.
        const auto compare = [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive);
        };
        QHash<QString, int> idOf;
        std::vector<QString> distinct;
        std::vector<int> ids;
        ids.reserve(rows_.size());
        for (const TransactionRow& row : rows_) {
            const QString t = text(row, sortColumn_);
            auto it = idOf.constFind(t);
            if (it == idOf.cend()) {
                it = idOf.insert(t, int(distinct.size()));
                distinct.push_back(t);
            }
            ids.push_back(*it);
        }
        std::vector<int> byText(distinct.size());
        std::iota(byText.begin(), byText.end(), 0);
        std::sort(byText.begin(), byText.end(),
                  [&](int a, int b) { return compare(distinct[a], distinct[b]) < 0; });
        std::vector<std::int64_t> rank(distinct.size());
        for (size_t i = 1; i < byText.size(); ++i)
            rank[byText[i]] =
                rank[byText[i - 1]] + (compare(distinct[byText[i - 1]], distinct[byText[i]]) != 0);
        std::vector<std::int64_t> keys;
        keys.reserve(ids.size());
        for (int id : ids)
            keys.push_back(rank[id]);
        sortBy(keys, std::less<std::int64_t>());
        return;
    }
    }
}

int TransactionTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(view_.size());
}

int TransactionTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TransactionColumnCount;
}

QVariant TransactionTableModel::data(const QModelIndex& index, int role) const {
    if (index.row() < 0 || index.row() >= int(view_.size()))
        return {};
    const TransactionRow& row = view_[index.row()];
    if (role == Qt::DisplayRole)
        return text(row, index.column());
    if (role == Qt::DecorationRole && row.isHead() && index.column() == EnvelopeColumn)
        return QApplication::style()->standardIcon(isOpen(row.split) ? QStyle::SP_ArrowDown
                                                                     : QStyle::SP_ArrowRight);
    if (role == Qt::ToolTipRole && row.isHead() && index.column() == EnvelopeColumn)
        return isOpen(row.split) ? QStringLiteral("Click to hide the parts")
                                 : QStringLiteral("Click to show the parts");
    if (role == Qt::ForegroundRole && row.part)
        return QApplication::palette().color(QPalette::PlaceholderText);
    if (role == Qt::BackgroundRole && index.row() % 2 == 1)
        return shadedColour(base_);
    if (row.projected >= 0) {
        // Not a transaction yet: greyed, and the balance is what it would become.
        if (role == Qt::ForegroundRole)
            return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        if (role == Qt::ToolTipRole)
            return QStringLiteral("Scheduled, not entered yet: double-click to edit then enter "
                                  "it, right-click for more");
    }
    if (index.column() == ClearedColumn && rows_[index.row()].projected < 0) {
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role == Qt::ToolTipRole) {
            switch (clearedStateOn(*rows_[index.row()].t, clearedSideOf(*rows_[index.row()].t))) {
            case ClearedState::Uncleared:
                return QStringLiteral("Not booked by the bank yet: click to mark it cleared");
            case ClearedState::Cleared:
                return QStringLiteral("Cleared: booked by the bank (click to unmark)");
            case ClearedState::Reconciled:
                return QStringLiteral("Reconciled with a statement");
            }
        }
    }
    return {};
}

QVariant TransactionTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < TransactionColumnCount)
        return kHeaders[section];
    if (o == Qt::Horizontal && role == Qt::ToolTipRole && section == ClearedColumn)
        return QStringLiteral("Cleared");
    return {};
}

// ---------------------------------------------------------------------------------------
