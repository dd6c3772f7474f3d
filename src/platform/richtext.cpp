#include "platform/richtext.h"

#include <QColor>
#include <QFontDatabase>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

RunSizes runSizesForScreenWidth(int screenWidth) {
    if (screenWidth >= 1920)
        return {12.0, 10.0};
    return {9.6, 8.0};
}

QFont consolasFont() {
    // Columns of the report and the printout line up only in a fixed-pitch face. Some
    // systems' default "monospace" resolves to a face that is not strictly fixed-pitch, so
    // the first one that really is wins.
    const QStringList wanted = {QStringLiteral("consolas"), QStringLiteral("DejaVu Sans Mono"),
                                QStringLiteral("Liberation Mono")};
    const QStringList families = QFontDatabase::families();
    for (const QString& name : wanted) {
        for (const QString& family : families) {
            if (family.compare(name, Qt::CaseInsensitive) == 0 &&
                QFontDatabase::isFixedPitch(family))
                return QFont(family);
        }
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

void renderRuns(QTextDocument* document, const StyledText& runs, int screenWidth) {
    if (!document)
        return;
    document->clear();
    const RunSizes sizes = runSizesForScreenWidth(screenWidth);
    const QFont font = consolasFont();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    for (const StyledRun& run : runs) {
        QTextCharFormat format;
        format.setFont(font);
        format.setFontPointSize(run.heading ? sizes.headingPoints : sizes.bodyPoints);
        format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
        format.setFontUnderline(run.underline);
        format.setForeground(run.red ? QColor(255, 0, 0) : QColor(0, 0, 0));
        cursor.insertText(run.text, format);
    }
}
