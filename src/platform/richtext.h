#pragma once
// Rendering of styled text runs into a QTextDocument in the "consolas" face.

#include "model/styledtext.h"

#include <QFont>
#include <QString>
#include <vector>

class QTextDocument;

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
