#pragma once
// Styled text runs: the "State of the Budget" report and dialog help texts. The model only
// describes them; the window and the printout render them.

#include <QString>
#include <vector>

struct StyledRun {
    QString text;
    bool bold = false;
    bool underline = false;
    bool red = false;     // pure red (255, 0, 0), else black
    bool heading = false; // heading size, else body size
};
using StyledText = std::vector<StyledRun>;
