#include "import/csvrules.h"

#include "import/statementvalues.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <vector>

namespace {

// One header phrase: the role it names, and whether it counts only as the whole header
// ("Umsatz" is the amount, "Umsatz getätigt von" the card holder).
struct Phrase {
    CsvRole role;
    QString needle; // the words between blanks, as the header's words are compared
    int length;     // in words
    bool whole;
};

// The header names of each role, most telling first, as headerWords leaves them: English,
// German (umlauts both as "a" and as "ae"), French, Dutch, Spanish, Italian, Portuguese.
const std::vector<Phrase>& phrases() {
    static const std::vector<Phrase> table = [] {
        std::vector<Phrase> t;
        const auto add = [&t](CsvRole role, const char* list, bool whole = false) {
            for (const QString& w : QString::fromLatin1(list).split(QLatin1Char('|')))
                t.push_back({role, QLatin1Char(' ') + w + QLatin1Char(' '),
                             int(w.count(QLatin1Char(' '))) + 1, whole});
        };
        add(CsvRole::Date,
            "buchungstag|buchungsdatum|transaction date|posting date|posted date|booking date|"
            "trans date|date operation|date de l operation|date comptable|boekdatum|"
            "transactiedatum|fecha operacion|fecha de operacion|fecha contable|data operazione|"
            "data contabile|data movimento|data lancamento|data do movimento|date|datum|fecha|"
            "data|value date|wertstellung|valutadatum|valuta|date valeur|date de valeur|"
            "rentedatum|fecha valor|data valuta|data valor");
        add(CsvRole::Amount,
            "amount|transaction amount|betrag|montant|bedrag|importe|monto|importo|valor|"
            "montante|quantia|valore|value|net amount|net|gross");
        add(CsvRole::Amount, "umsatz", true);
        add(CsvRole::Debit,
            "debit|debits|debit amount|amount debit|withdrawal|withdrawals|withdrawal amount|"
            "money out|paid out|out|soll|ausgang|ausgange|ausgaenge|belastung|debet|af|"
            "afschrijving|cargo|cargos|debito|debitos|addebiti|addebito|uscite|dare|saida|"
            "saidas|sortie|sorties|montant debit");
        add(CsvRole::Credit,
            "credit|credits|credit amount|amount credit|deposit|deposits|deposit amount|"
            "money in|paid in|in|haben|eingang|eingange|eingaenge|gutschrift|credit|bij|"
            "bijschrijving|abono|abonos|credito|creditos|accrediti|accredito|entrate|avere|"
            "entrada|entradas|montant credit");
        add(CsvRole::Sign,
            "af bij|bij af|debit credit|credit debit|debet credit|credit debet|soll haben|"
            "haben soll|dr cr|cr dr|d c|c d|s h|h s|creditdebet|debetcredit|debit credit indicator|"
            "credit debit indicator|cr dr indicator|dr cr indicator");
        add(CsvRole::Balance,
            "balance|running balance|running bal|available balance|ledger balance|"
            "balance after|saldo|kontostand|saldo nach buchung|neuer saldo|solde|"
            "saldo na mutatie|saldo disponible|saldo contabile|saldo disponivel");
        add(CsvRole::Payee,
            "payee|beneficiary|merchant|merchant name|counterparty|name|payee name|"
            "zahlungsempfanger|zahlungsempfaenger|empfanger|empfaenger|beguenstigter|"
            "begunstigter|auftraggeber|zahlungsbeteiligter|auftraggeber empfanger|"
            "auftraggeber empfaenger|beguenstigter zahlungspflichtiger|"
            "begunstigter zahlungspflichtiger|beneficiaire|tiers|naam|naam omschrijving|"
            "tegenpartij|tegenrekeninghouder|naam "
            "tegenpartij|beneficiario|ordenante|destinatario|controparte|favorecido|"
            "description|transaction "
            "description|beschreibung|libelle|omschrijving|concepto|descripcion|"
            "descrizione|descricao");
        add(CsvRole::Memo,
            "memo|verwendungszweck|reference|referenz|notes|note|details|communication|"
            "mededelingen|motif|detail|causale|observaciones|referencia|historico|informacao|"
            "additional info|buchungstext");
        // Columns that hold something else: never a role, whatever the values look like.
        add(CsvRole::Other,
            "account|account name|account number|account no|card|card number|card no|"
            "cardholder|card holder|iban|bic|swift|isin|kontonummer|konto|kartennummer|"
            "auftraggeberkonto|empfangerkonto|rekening|tegenrekening|rekeningnummer|"
            "tegenrekeningnummer|valutacode|sort code|ursprunglicher betrag|"
            "urspruenglicher betrag|original betrag|type|transaction type|mutatiesoort|"
            "betaalwijze|type betaling|numero de compte|compte|"
            "cuenta|conto|conta|number|no|nr|check number|cheque number|check|cheque|"
            "year to date|ytd|fee|fees|gebuhr|gebuehr|gebuhren|frais|kosten|comision|"
            "commissione|shipping|handling|shipping and handling|tax|vat|mwst|quantity|"
            "price|rate|exchange rate|kurs|currency|wahrung|waehrung|devise|munt|moneda|code|"
            "category|kategorie|categorie|categoria|status|"
            "original amount|foreign amount|umsatz getaetigt von|umsatz getatigt von|"
            "getaetigt von|getatigt von|reference number|sequence|id|transaction id");
        return t;
    }();
    return table;
}

// The order in which roles win a tie between phrases of the same length.
int precedence(CsvRole role) {
    switch (role) {
    case CsvRole::Other:
        return 0;
    case CsvRole::Balance:
        return 1;
    case CsvRole::Sign:
        return 2;
    case CsvRole::Debit:
        return 3;
    case CsvRole::Credit:
        return 4;
    case CsvRole::Date:
        return 5;
    case CsvRole::Amount:
        return 6;
    case CsvRole::Payee:
        return 7;
    case CsvRole::Memo:
        return 8;
    case CsvRole::None:
        break;
    }
    return 9;
}

const QSet<QString>& currencyCodes() {
    static const QSet<QString> codes = {"eur", "usd", "gbp", "chf", "cad", "aud", "nzd",
                                        "sek", "nok", "dkk", "pln", "czk", "huf", "jpy",
                                        "brl", "mxn", "ars", "clp", "cop", "zar", "inr"};
    return codes;
}

const QStringList kOutMarks = {"af", "d", "dr", "db", "debit", "debet", "s", "soll", "-"};
const QStringList kInMarks = {"bij", "c", "cr", "credit", "h", "haben", "+"};

QString folded(const QString& text) {
    return text.trimmed().toCaseFolded();
}

bool mostlyDigits(const QString& text) {
    int digits = 0, letters = 0;
    for (const QChar c : text) {
        digits += c.isDigit() ? 1 : 0;
        letters += c.isLetter() ? 1 : 0;
    }
    return digits > letters;
}
} // namespace

QString headerWords(const QString& header) {
    const QString decomposed = header.normalized(QString::NormalizationForm_D).toLower();
    QString out;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing)
            continue;
        out += c.isLetter() ? c : QLatin1Char(' ');
    }
    QStringList words = out.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    // "Betrag (EUR)", "Amount in USD": the currency says nothing of the role.
    for (qsizetype i = words.size() - 1; i >= 0; --i)
        if (currencyCodes().contains(words[i]) && words.size() > 1) {
            words.removeAt(i);
            if (i > 0 && i == words.size() && (words[i - 1] == u"in" || words[i - 1] == u"en"))
                words.removeAt(i - 1);
        }
    return words.join(QLatin1Char(' '));
}

CsvRole headerRole(const QString& header, int* rank) {
    const QString words = QLatin1Char(' ') + headerWords(header) + QLatin1Char(' ');
    CsvRole best = CsvRole::None;
    qsizetype bestLength = 0;
    int bestRank = 0;
    const std::vector<Phrase>& table = phrases();
    for (int i = 0; i < int(table.size()); ++i) {
        const Phrase& p = table[size_t(i)];
        if (p.whole ? words != p.needle : !words.contains(p.needle))
            continue;
        const qsizetype length = p.length;
        if (length > bestLength ||
            (length == bestLength && precedence(p.role) < precedence(best))) {
            best = p.role;
            bestLength = length;
            bestRank = i;
        }
    }
    if (rank)
        *rank = bestRank;
    return best;
}

bool isOutMark(const QString& text) {
    return kOutMarks.contains(folded(text));
}

bool isInMark(const QString& text) {
    return kInMarks.contains(folded(text));
}

// Dates and amounts are short and hold a digit; anything else is passed over cheaply (the
// proposal looks at every field of the first rows, in three splittings).
bool mayBeValue(const QString& text) {
    return text.size() <= 48 &&
           std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

bool readsAsDate(const QString& text) {
    if (!mayBeValue(text))
        return false;
    for (const DateOrder order :
         {DateOrder::DayMonthYear, DateOrder::MonthDayYear, DateOrder::YearMonthDay})
        if (readStatementDate(text, order).isValid())
            return true;
    return false;
}

bool looksLikeMoney(const QString& text) {
    return mayBeValue(text) && !readsAsDate(text) &&
           (readAmountText(text, false).state == AmountText::Read ||
            readAmountText(text, true).state == AmountText::Read);
}

bool looksLikeIdentifier(const QString& text) {
    static const QRegularExpression code(
        QStringLiteral("^[A-Z]{2}[0-9]{2}[A-Z0-9 ]{8,34}$|^[A-Z]{2}[A-Z0-9]{9}[0-9]$"));
    static const QRegularExpression masked(QStringLiteral("^[X*x•.\\s-]{2,}\\d{2,6}$"));
    static const QRegularExpression longDigits(QStringLiteral("^[+-]?\\d{9,}$"));
    const QString value = text.trimmed();
    return code.match(value).hasMatch() || masked.match(value).hasMatch() ||
           longDigits.match(value).hasMatch();
}

ColumnEvidence columnEvidence(const QList<QStringList>& rows, int column) {
    ColumnEvidence e;
    int dates = 0, money = 0, text = 0, marks = 0, ids = 0, wide = 0, cents = 0;
    static const QRegularExpression decimalPart(QStringLiteral("[.,]\\d{1,2}\\D*$"));
    QSet<QString> distinct;
    QSet<qsizetype> plainWidths;
    bool allPlainDigits = true;
    static const QRegularExpression wideDecimals(QStringLiteral("[.,]\\d{3}\\d+\\D*$|\\.\\d{3}$"));
    static const QRegularExpression plain(QStringLiteral("^\\d+$"));
    for (const QStringList& row : rows) {
        if (column >= row.size())
            continue;
        const QString value = row[column].trimmed();
        if (value.isEmpty())
            continue;
        ++e.filled;
        distinct.insert(value);
        const bool date = readsAsDate(value);
        dates += date ? 1 : 0;
        const bool amount = !date && looksLikeMoney(value);
        money += amount ? 1 : 0;
        cents += amount && decimalPart.match(value).hasMatch() ? 1 : 0;
        text += mostlyDigits(value) ? 0 : 1;
        marks += isOutMark(value) || isInMark(value) ? 1 : 0;
        ids += looksLikeIdentifier(value) ? 1 : 0;
        // "12.345" in a file of decimal points: a rate or a price, not money.
        wide += amount && wideDecimals.match(value).hasMatch() &&
                        !value.contains(QLatin1Char(',')) && value.count(QLatin1Char('.')) == 1
                    ? 1
                    : 0;
        if (plain.match(value).hasMatch())
            plainWidths.insert(value.size());
        else
            allPlainDigits = false;
    }
    if (e.filled == 0)
        return e;
    e.dates = double(dates) / e.filled;
    e.money = double(money) / e.filled;
    e.text = double(text) / e.filled;
    e.marks = double(marks) / e.filled;
    // Account and card numbers: digits of one width (six or more), or codes.
    e.identifiers = ids * 2 > e.filled || (allPlainDigits && e.filled >= 2 &&
                                           plainWidths.size() == 1 && *plainWidths.begin() >= 6);
    e.constant = e.filled >= 3 && distinct.size() == 1;
    e.wideDecimals = wide * 2 > e.filled;
    e.cents = cents * 2 > e.filled;
    return e;
}

QString csvMissingRole(bool hasDate, bool hasMoney) {
    if (!hasDate)
        return QStringLiteral("date");
    if (!hasMoney)
        return QStringLiteral("amount");
    return QString();
}
