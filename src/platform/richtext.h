#pragma once
// Styled text runs (the "State of the Budget" report and dialog help texts) and their
// rendering into a QTextDocument in the "consolas" face.

#include <QFont>
#include <QString>
#include <vector>

class QTextDocument;

struct StyledRun {
    QString text;
    bool bold = false;
    bool underline = false;
    bool red = false;     // pure red (255, 0, 0), else black
    bool heading = false; // heading size, else body size
};
using StyledText = std::vector<StyledRun>;

// Heading 12 pt / body 10 pt on screens at least 1920 pixels wide, else 9.6 pt / 8 pt.
struct RunSizes {
    double headingPoints;
    double bodyPoints;
};
RunSizes runSizesForScreenWidth(int screenWidth);

// "consolas" when installed, else the system fixed-pitch font.
QFont consolasFont();

// Clears the document and writes the runs in order.
void renderRuns(QTextDocument* document, const StyledText& runs, int screenWidth);
