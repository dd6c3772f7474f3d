#include "app/upcomingpane.h"

#include "model/budget.h"
#include "model/schedule.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
enum Role { ScheduleRole = Qt::UserRole, NextRole };

QString nameOf(const Budget& budget, ItemId id) {
    const AccountBase* item = budget.findItem(id);
    return item ? item->getName() : QString();
}

// Where the money goes or comes from, in words.
QString routeText(const Budget& budget, const Schedule& s) {
    switch (s.type) {
    case TransactionType::Expense:
        return QStringLiteral("%1 from %2")
            .arg(nameOf(budget, s.category), nameOf(budget, s.accountFrom));
    case TransactionType::Deposit:
        return QStringLiteral("into %1").arg(nameOf(budget, s.accountTo));
    case TransactionType::Transfer:
    case TransactionType::CCPayment:
        return QStringLiteral("%1 to %2")
            .arg(nameOf(budget, s.accountFrom), nameOf(budget, s.accountTo));
    }
    return {};
}
} // namespace

UpcomingPane::UpcomingPane(const Budget& budget, QWidget* parent)
    : QWidget(parent), budget_(budget) {
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Payee"),
                            QStringLiteral("Amount"), QStringLiteral("Envelope or account"),
                            QStringLiteral("When due")});
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    summary_ = new QLabel(this);
    enter_ = new QPushButton(QStringLiteral("Enter"), this);
    skip_ = new QPushButton(QStringLiteral("Skip"), this);
    editEnter_ = new QPushButton(QStringLiteral("Edit then enter..."), this);
    editSchedule_ = new QPushButton(QStringLiteral("Edit schedule..."), this);
    newSchedule_ = new QPushButton(QStringLiteral("New schedule..."), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    for (QPushButton* b : {enter_, skip_, editEnter_, editSchedule_, newSchedule_})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(list_, &QTreeWidget::currentItemChanged, this, &UpcomingPane::updateButtons);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this] { request(Command::EditSchedule); });
    connect(enter_, &QPushButton::clicked, this, [this] { request(Command::EnterScheduled); });
    connect(skip_, &QPushButton::clicked, this, [this] { request(Command::SkipScheduled); });
    connect(editEnter_, &QPushButton::clicked, this,
            [this] { request(Command::EditThenEnterScheduled); });
    connect(editSchedule_, &QPushButton::clicked, this, [this] { request(Command::EditSchedule); });
    connect(newSchedule_, &QPushButton::clicked, this,
            [this] { emit commandRequested(Command::NewSchedule, 0); });
    updateButtons();
}

void UpcomingPane::rebuild(const QDate& today) {
    const QTreeWidgetItem* current = list_->currentItem();
    const QVariant wasSchedule = current ? current->data(0, ScheduleRole) : QVariant();
    list_->clear();
    waiting_ = 0;
    QTreeWidgetItem* select = nullptr;
    // Schedules with nothing in the next 30 days still get a row (their next date, or
    // "ended"), so that every schedule can be opened and changed from here.
    std::vector<UpcomingEntry> entries = upcomingEntries(budget_, today);
    std::vector<bool> listed(budget_.schedules().size(), false);
    for (const UpcomingEntry& e : entries)
        listed[e.schedule] = true;
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (!listed[i]) {
            const Occurrence next = nextOccurrence(budget_.schedules()[i]);
            entries.push_back({i, next, false, next.index >= 0});
        }
    for (const UpcomingEntry& e : entries) {
        const Schedule& s = budget_.schedules()[e.schedule];
        auto* row = new QTreeWidgetItem(list_);
        row->setText(0, QLocale().toString(e.occurrence.date, QLocale::ShortFormat));
        row->setText(1, s.payee);
        row->setText(2, (s.aboutPercent > 0 ? QStringLiteral("about ") : QString()) +
                            formatAmount(s.amount < 0 ? Amount(-s.amount) : s.amount, true));
        row->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(3, routeText(budget_, s));
        const qint64 days = today.daysTo(e.occurrence.date);
        QString when = e.occurrence.index < 0 ? QStringLiteral("ended")
                       : days < 0             ? QStringLiteral("%1 days ago").arg(-days)
                       : days == 0            ? QStringLiteral("today")
                       : days == 1            ? QStringLiteral("tomorrow")
                                              : QStringLiteral("in %1 days").arg(days);
        if (s.mode == ScheduleMode::AskMe)
            when += QStringLiteral(", ask me");
        row->setText(4, when);
        row->setData(0, ScheduleRole, quint32(e.schedule));
        row->setData(0, NextRole, e.next);
        if (e.due) {
            ++waiting_;
            QFont bold = row->font(0);
            bold.setBold(true);
            for (int c = 0; c < 5; ++c)
                row->setFont(c, bold);
        }
        if (!e.next) // a later occurrence: shown, but the next one comes first
            for (int c = 0; c < 5; ++c)
                row->setForeground(c, list_->palette().brush(QPalette::Disabled, QPalette::Text));
        if (!select && e.next && wasSchedule == row->data(0, ScheduleRole))
            select = row;
    }
    summary_->setText(
        waiting_ == 0 ? QStringLiteral("Nothing waits to be entered.")
        : waiting_ == 1
            ? QStringLiteral("1 scheduled transaction waits to be entered.")
            : QStringLiteral("%1 scheduled transactions wait to be entered.").arg(waiting_));
    list_->setCurrentItem(select ? select : list_->topLevelItem(0));
    updateButtons();
}

void UpcomingPane::updateButtons() {
    const QTreeWidgetItem* row = list_->currentItem();
    const bool next = row && row->data(0, NextRole).toBool();
    for (QPushButton* b : {enter_, skip_, editEnter_})
        b->setEnabled(next);
    editSchedule_->setEnabled(row != nullptr);
}

void UpcomingPane::request(Command command) {
    const QTreeWidgetItem* row = list_->currentItem();
    if (!row)
        return;
    if (command != Command::EditSchedule && !row->data(0, NextRole).toBool())
        return;
    emit commandRequested(command, row->data(0, ScheduleRole).toUInt());
}
