// Reads one OFX statement for the program, in a process of its own (see readOfxBytes).

#include "import/ofxreader.h"

int main() {
    return runOfxHelper();
}
