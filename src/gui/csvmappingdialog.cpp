#include "gui/csvmappingdialog.h"

#include "platform/screen.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
const QChar kDelimiters[] = {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')};
const DateOrder kDateOrders[] = {DateOrder::MonthDayYear, DateOrder::DayMonthYear,
                                 DateOrder::YearMonthDay};
// Rows looked at to learn how many columns the file has and what they are called.
constexpr int kSampleRows = 20;

// Where value stands in list; the first entry when it is not there.
template <class T, std::size_t N> int indexIn(const T (&list)[N], const T& value) {
    const auto it = std::find(std::begin(list), std::end(list), value);
    return it == std::end(list) ? 0 : int(it - std::begin(list));
}

int& roleColumn(CsvColumns& columns, int role) {
    switch (role) {
    case CsvMappingDialog::DateRole:
        return columns.dateColumn;
    case CsvMappingDialog::PayeeRole:
        return columns.payeeColumn;
    case CsvMappingDialog::MemoRole:
        return columns.memoColumn;
    case CsvMappingDialog::AmountRole:
        return columns.amountColumn;
    case CsvMappingDialog::SignRole:
        return columns.signColumn;
    case CsvMappingDialog::DebitRole:
        return columns.debitColumn;
    default:
        return columns.creditColumn;
    }
}
} // namespace

CsvMappingDialog::CsvMappingDialog(const QByteArray& bytes, const CsvColumns& start,
                                   QWidget* parent)
    : QDialog(parent), bytes_(bytes), columns_(start) {
    setWindowTitle(QStringLiteral("CSV Columns"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral("Tell Tallykeep how to read the columns of this "
                                            "statement. It remembers your choice for the next "
                                            "import into this account."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* top = new QHBoxLayout;
    auto* file = new QFormLayout;
    delimiter_ = new QComboBox(this);
    delimiter_->addItems(
        {QStringLiteral("Comma"), QStringLiteral("Semicolon"), QStringLiteral("Tab")});
    file->addRow(QStringLiteral("Delimiter:"), delimiter_);
    header_ = new QCheckBox(QStringLiteral("First row holds column names"), this);
    file->addRow(QString(), header_);
    dateOrder_ = new QComboBox(this);
    dateOrder_->addItems({QStringLiteral("Month/day/year"), QStringLiteral("Day/month/year"),
                          QStringLiteral("Year/month/day")});
    file->addRow(QStringLiteral("Date order:"), dateOrder_);
    decimal_ = new QComboBox(this);
    decimal_->addItems({QStringLiteral("Point (1,234.56)"), QStringLiteral("Comma (1.234,56)")});
    file->addRow(QStringLiteral("Decimal separator:"), decimal_);
    charges_ = new QCheckBox(kChargesText, this);
    file->addRow(QString(), charges_);
    top->addLayout(file);

    auto* roles = new QFormLayout;
    const QString labels[RoleCount] = {QStringLiteral("Date:"),
                                       QStringLiteral("Payee:"),
                                       QStringLiteral("Memo:"),
                                       QStringLiteral("Amount:"),
                                       QStringLiteral("Out or in (D/C):"),
                                       QStringLiteral("Debit (money out):"),
                                       QStringLiteral("Credit (money in):")};
    for (int role = 0; role < RoleCount; ++role) {
        roles_[role] = new QComboBox(this);
        roles_[role]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        roles->addRow(labels[role], roles_[role]);
    }
    top->addSpacing(fontMetrics().averageCharWidth() * 4);
    top->addLayout(roles);
    top->addStretch(1);
    layout->addLayout(top);

    layout->addWidget(new QLabel(QStringLiteral("Preview:"), this));
    preview_ = new QTableWidget(0, 4, this);
    preview_->setHorizontalHeaderLabels({QStringLiteral("Date"), QStringLiteral("Payee"),
                                         QStringLiteral("Amount"), QStringLiteral("Memo")});
    preview_->verticalHeader()->hide();
    preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    preview_->setSelectionMode(QAbstractItemView::NoSelection);
    preview_->setWordWrap(false);
    // The memo takes what room is left (a long one ends in "..."), so the amount stays in view.
    for (int c = 0; c < 3; ++c)
        preview_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    preview_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    preview_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    applyListFont(preview_);
    layout->addWidget(preview_, 1);
    summary_ = new QLabel(this);
    summary_->setTextFormat(Qt::PlainText);
    layout->addWidget(summary_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    // The starting choice.
    busy_ = true;
    delimiter_->setCurrentIndex(indexIn(kDelimiters, columns_.delimiter));
    header_->setChecked(columns_.headerRow);
    dateOrder_->setCurrentIndex(indexIn(kDateOrders, columns_.dateOrder));
    decimal_->setCurrentIndex(columns_.decimalComma ? 1 : 0);
    charges_->setChecked(columns_.charges);
    busy_ = false;
    fillColumnChoices();

    // The delimiter and the header row change what the columns are; the rest only how
    // they are read.
    connect(delimiter_, &QComboBox::currentIndexChanged, this, [this] {
        readFields();
        fillColumnChoices();
    });
    connect(header_, &QCheckBox::toggled, this, [this] {
        readFields();
        fillColumnChoices();
    });
    connect(charges_, &QCheckBox::toggled, this, [this] {
        readFields();
        updatePreview();
    });
    for (QComboBox* field : {dateOrder_, decimal_})
        connect(field, &QComboBox::currentIndexChanged, this, [this] {
            readFields();
            updatePreview();
        });
    for (QComboBox* field : roles_)
        connect(field, &QComboBox::currentIndexChanged, this, [this] {
            readFields();
            updatePreview();
        });
    resize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 34);
}

// Each role's list: "(none)", then every column by its name in the header row (or its number).
void CsvMappingDialog::fillColumnChoices() {
    busy_ = true;
    const QList<QStringList> rows =
        csvRows(bytes_, columns_.delimiter, columns_.skipRows + kSampleRows).mid(columns_.skipRows);
    qsizetype count = 0;
    for (const QStringList& row : rows)
        count = std::max(count, row.size());
    QStringList names;
    for (qsizetype c = 0; c < count; ++c) {
        const QString name = columns_.headerRow && !rows.isEmpty() && c < rows.front().size()
                                 ? rows.front()[c].simplified()
                                 : QString();
        names << (name.isEmpty() ? QStringLiteral("Column %1").arg(c + 1)
                                 : QStringLiteral("%1: %2").arg(c + 1).arg(name));
    }
    for (int role = 0; role < RoleCount; ++role) {
        QComboBox* field = roles_[role];
        field->clear();
        field->addItem(QStringLiteral("(none)"));
        field->addItems(names);
        const int column = roleColumn(columns_, role);
        field->setCurrentIndex(column >= 0 && column < count ? column + 1 : 0);
    }
    busy_ = false;
    readFields();
    updatePreview();
}

void CsvMappingDialog::readFields() {
    if (busy_)
        return;
    columns_.delimiter = kDelimiters[std::max(0, delimiter_->currentIndex())];
    columns_.headerRow = header_->isChecked();
    columns_.dateOrder = kDateOrders[std::max(0, dateOrder_->currentIndex())];
    columns_.decimalComma = decimal_->currentIndex() == 1;
    columns_.charges = charges_->isChecked();
    for (int role = 0; role < RoleCount; ++role)
        roleColumn(columns_, role) =
            roles_[role]->count() > 1 ? roles_[role]->currentIndex() - 1 : -1;
}

// The first rows exactly as the import will read them.
void CsvMappingDialog::updatePreview() {
    if (busy_)
        return;
    preview_->setRowCount(0);
    const bool usable = columns_.usable();
    ok_->setEnabled(usable);
    if (!usable) {
        // A role no column passed for stays empty: the user says which it is.
        summary_->setText(
            columns_.dateColumn < 0
                ? QStringLiteral("Tallykeep could not tell which column holds the date. Choose "
                                 "the date column.")
                : QStringLiteral("Tallykeep could not tell which column holds the amount. Choose "
                                 "the amount column (or the debit and credit columns)."));
        return;
    }
    StatementOptions options;
    options.csv = columns_;
    const StatementRead read = readStatement(bytes_, options);
    const int shown = int(std::min<std::size_t>(read.records.size(), kPreviewRows));
    preview_->setRowCount(shown);
    for (int row = 0; row < shown; ++row) {
        const ImportRecord& record = read.records[size_t(row)];
        const QString texts[] = {formatDate(record.date, DateStyle::ShortDate),
                                 record.incomingPayee, formatAmount(record.amount, true),
                                 record.memo};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setToolTip(texts[c]);
            if (c == 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            preview_->setItem(row, c, item);
        }
    }
    const int skipped = read.skips.total();
    QString text = QStringLiteral("%1 transactions will be read").arg(read.records.size());
    if (skipped > 0)
        text += QStringLiteral("; %1 rows are left out (no readable date or amount)").arg(skipped);
    const auto tooLarge = std::count_if(read.records.begin(), read.records.end(),
                                        [](const ImportRecord& r) { return r.tooLarge; });
    if (tooLarge > 0)
        text += QStringLiteral("; %1 amounts are too large to be transactions").arg(tooLarge);
    summary_->setText(text + QLatin1Char('.'));
}
