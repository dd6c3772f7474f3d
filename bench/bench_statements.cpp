// Reading times of the largest statements one import takes (20,000 transactions), in each
// form: QIF, OFX (libofx in its child process), CSV with the columns proposed and with a
// mapping given. Every figure is the median of the runs.
//   bench_statements [--runs N]   (default 5 runs)

#include "import/statementreader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QByteArray payee(int i) {
    return "SHOP " + QByteArray::number(i % 997) + ", BRANCH " + QByteArray::number(i % 13);
}

QByteArray qif(int rows) {
    QByteArray out = "!Type:Bank\n";
    for (int i = 0; i < rows; ++i)
        out += "D" + QByteArray::number(1 + i % 12) + "/" + QByteArray::number(1 + i % 28) +
               "/2024\nT-" + QByteArray::number(1 + i % 5000) + ".25\nP" + payee(i) +
               "\nMcard\n^\n";
    return out;
}

QByteArray ofx(int rows) {
    QByteArray out = "OFXHEADER:100\nDATA:OFXSGML\nVERSION:102\n\n<OFX><BANKMSGSRSV1><STMTTRNRS>"
                     "<STMTRS><CURDEF>USD<BANKACCTFROM><BANKID>1<ACCTID>2<ACCTTYPE>CHECKING"
                     "</BANKACCTFROM><BANKTRANLIST>\n";
    for (int i = 0; i < rows; ++i)
        out += "<STMTTRN><TRNTYPE>DEBIT<DTPOSTED>2024" +
               QByteArray::number(100 + 1 + i % 12).mid(1) +
               QByteArray::number(100 + 1 + i % 28).mid(1) + "120000[-5:EST]<TRNAMT>-" +
               QByteArray::number(1 + i % 5000) + ".25<FITID>" + QByteArray::number(i) + "<NAME>" +
               payee(i).replace(',', ' ') + "<MEMO>card</STMTTRN>\n";
    out += "</BANKTRANLIST></STMTRS></STMTTRNRS></BANKMSGSRSV1></OFX>\n";
    return out;
}

QByteArray csv(int rows) {
    QByteArray out = "Buchungstag;Empfänger;Verwendungszweck;Soll;Haben\r\n";
    for (int i = 0; i < rows; ++i)
        out += QByteArray::number(100 + 1 + i % 28).mid(1) + "." +
               QByteArray::number(100 + 1 + i % 12).mid(1) + ".2024;\"" + payee(i) +
               "\";\"Karte\r\nRef " + QByteArray::number(i) + "\";" +
               QByteArray::number(1 + i % 5000) + ",25;\r\n";
    return out;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 5;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i + 1 < args.size(); ++i)
        if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
    const int rows = kMaxQifRecords;
    const QByteArray csvBytes = csv(rows);
    StatementOptions mapped;
    mapped.csv = detectCsvColumns(csvBytes);
    const struct {
        const char* name;
        QByteArray bytes;
        StatementOptions options;
    } cases[] = {{"qif", qif(rows), {}},
                 {"ofx", ofx(rows), {}},
                 {"csv, columns proposed", csvBytes, {}},
                 {"csv, columns given", csvBytes, mapped}};
    for (const auto& c : cases) {
        std::vector<double> seconds;
        size_t records = 0;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const StatementRead read = readStatement(c.bytes, c.options);
            seconds.push_back(timer.nsecsElapsed() / 1e9);
            records = read.records.size();
            if (read.status != 0) {
                std::fprintf(stderr, "%s: status %u\n", c.name, read.status);
                return 1;
            }
        }
        std::printf("%-22s %6zu rows, %5.1f MiB: %.3f s\n", c.name, records,
                    c.bytes.size() / 1048576.0, median(seconds));
    }
    return 0;
}
