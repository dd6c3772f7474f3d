#include "import/statementcheckpoint.h"

#include "model/items.h"

#include <QDateTime>

void keepStatementBalance(Account& account, const std::optional<StatementBalance>& closing) {
    if (!closing || !closing->date.isValid())
        return;
    const DateTime day = fromQDateTime(closing->date.startOfDay());
    // An older statement imported late does not take the place of a newer one.
    if (account.statementDate().isSet() && isEarlier(day, account.statementDate()))
        return;
    account.setStatementBalance(day, closing->amount);
}
