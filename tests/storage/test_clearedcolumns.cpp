// The cleared states and reconcile checkpoints in the workbook, as another program reads them,
// and as files from other programs and from before these columns hold them.

#include "model/budget.h"
#include "storage/budgetfile.h"
#include "storage/workbook.h"
#include "storagetestkit.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace kit;

namespace {
QStringList states(const Budget& b) {
    QStringList out;
    for (const Transaction* t : b.transactions())
        out << t->payee + QStringLiteral(" %1/%2").arg(int(t->clearedFrom)).arg(int(t->clearedTo));
    return out;
}

std::unique_ptr<Budget> load(const QString& file) {
    auto b = std::make_unique<Budget>();
    const WorkbookLoad r = loadWorkbook(file, *b);
    for (AccountBase* item : r.items)
        b->showTopLevel(item);
    return r.status == 0 ? std::move(b) : nullptr;
}
} // namespace

class TestClearedColumns : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void otherProgramsReadAndWriteThem() {
        auto rich = richBudget();
        const QString file = dir_.filePath("cleared.xlsx");
        QCOMPARE(writeWorkbookReplacing(file, *rich, rich->topLevelItemsForSave()), 0);
        // The sheet is newest first: row 3 the card payment, 4 the transfer, 6 the rent,
        // 7 the deposit. Then the same file as an older version and as another program left it.
        const char* script = R"PY(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
tx, acc = wb["Transactions"], wb["Accounts"]
got = [tx["J1"].value, tx["K1"].value, acc["H1"].value, acc["I1"].value, acc["J1"].value,
       acc["K1"].value]
got += [(tx["J%d" % r].value, tx["K%d" % r].value) for r in range(2, 8)]
got += [acc["H2"].is_date, acc["I2"].value, acc["K2"].value, acc["H3"].value]
want = ["Cleared", "Cleared to", "Reconciled", "Reconciled balance", "Statement date",
        "Statement balance", (None, None), (None, "reconciled"), ("reconciled", "cleared"),
        (None, None), ("cleared", None), ("reconciled", None), True, 1314.56, -1294.56, None]
if got != want:
    print("got  %r\nwant %r" % (got, want))
    sys.exit(1)
tx.delete_cols(10, 2)
acc.delete_cols(8, 4)
wb.save(sys.argv[2])
wb = openpyxl.load_workbook(sys.argv[1])
wb["Transactions"]["J6"] = "  CLEARED "
wb["Transactions"]["J5"] = "Reconciled"
wb["Transactions"]["K4"] = "x"
wb.save(sys.argv[3])
)PY";
        const QString older = dir_.filePath("older.xlsx");
        const QString foreign = dir_.filePath("foreign.xlsx");
        QProcess p;
        p.start("/usr/bin/python3", {"-c", QString::fromUtf8(script), file, older, foreign});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
        if (out.contains("No module named") || p.error() == QProcess::FailedToStart)
            QSKIP("python3 with openpyxl is not installed");
        QVERIFY2(p.exitCode() == 0, qPrintable(out));

        const auto old = load(older);
        QVERIFY(old);
        for (const QString& line : states(*old))
            QVERIFY2(line.endsWith(" 0/0"), qPrintable(line));
        QVERIFY(!old->findAccount(old->accountOrder()[0]->id())->reconciledDate().isSet());
        QCOMPARE(old->accountOrder()[0]->getBalance(), Amount(123456)); // the rest as before

        const auto other = load(foreign);
        QVERIFY(other);
        // Oldest first here: deposit, rent, shop, transfer, card payment, moved.
        QCOMPARE(states(*other), QStringList({"Employer 0/2", "Landlord <Ltd> 1/0", "Shop 💳 2/0",
                                              " 2/0", "Visa 0/2", "moved 0/0"}));
        const Account* checking = other->accountOrder()[0];
        QCOMPARE(ymd(checking->reconciledDate()), QString("2024-02-29"));
        QCOMPARE(checking->reconciledBalance(), Amount(131456));
        QCOMPARE(ymd(checking->statementDate()), QString("2024-03-31"));
        QCOMPARE(checking->statementBalance(), Amount(-129456));
    }
};

QTEST_GUILESS_MAIN(TestClearedColumns)
#include "test_clearedcolumns.moc"
