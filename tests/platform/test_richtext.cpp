#include "platform/richtext.h"
#include "platform/screen.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

class TestRichText : public QObject {
    Q_OBJECT
private slots:
    void sizes_data();
    void sizes();
    void runsKeepTheirFormats();
    void renderingReplacesOldContent();
    void screenWidthWithoutCrash();
};

void TestRichText::sizes_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("heading");
    QTest::addColumn<double>("body");
    QTest::addColumn<int>("listPixels");
    QTest::newRow("narrow") << 1919 << 9.6 << 8.0 << 13;
    QTest::newRow("wide") << 1920 << 12.0 << 10.0 << 16;
    QTest::newRow("unknown") << 0 << 9.6 << 8.0 << 13;
}

void TestRichText::sizes() {
    QFETCH(int, width);
    QFETCH(double, heading);
    QFETCH(double, body);
    QFETCH(int, listPixels);
    const RunSizes sizes = runSizesForScreenWidth(width);
    QCOMPARE(sizes.headingPoints, heading);
    QCOMPARE(sizes.bodyPoints, body);
    QCOMPARE(minimumListFontPixels(width), listPixels);
}

void TestRichText::runsKeepTheirFormats() {
    StyledText runs;
    StyledRun heading;
    heading.text = QStringLiteral("Heading\n");
    heading.heading = heading.bold = heading.underline = true;
    runs.push_back(heading);
    StyledRun warning;
    warning.text = QStringLiteral("red text");
    warning.red = true;
    runs.push_back(warning);
    StyledRun plain;
    plain.text = QStringLiteral(" plain");
    runs.push_back(plain);

    QTextDocument document;
    renderRuns(&document, runs, 2560);
    QCOMPARE(document.toPlainText(), QStringLiteral("Heading\nred text plain"));

    std::vector<QTextCharFormat> formats;
    std::vector<QString> texts;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            formats.push_back(it.fragment().charFormat());
            texts.push_back(it.fragment().text());
        }
    }
    QCOMPARE(texts.size(), std::size_t(3));
    QCOMPARE(formats[0].fontPointSize(), 12.0);
    QVERIFY(formats[0].font().bold());
    QVERIFY(formats[0].fontUnderline());
    QCOMPARE(formats[1].fontPointSize(), 10.0);
    QCOMPARE(formats[1].foreground().color(), QColor(255, 0, 0));
    QVERIFY(!formats[1].font().bold());
    QCOMPARE(formats[2].foreground().color(), QColor(0, 0, 0));
    QVERIFY(!formats[2].fontUnderline());
    QCOMPARE(formats[2].font().family(), consolasFont().family());
}

void TestRichText::renderingReplacesOldContent() {
    QTextDocument document;
    document.setPlainText(QStringLiteral("old"));
    StyledRun run;
    run.text = QStringLiteral("new");
    renderRuns(&document, {run}, 800);
    QCOMPARE(document.toPlainText(), QStringLiteral("new"));
    renderRuns(nullptr, {run}, 800); // nothing to write into: nothing happens
}

void TestRichText::screenWidthWithoutCrash() {
    QVERIFY(primaryScreenWidth() >= 0);
}

QTEST_MAIN(TestRichText)
#include "test_richtext.moc"
