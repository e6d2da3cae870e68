#include "MDlib/RunMemory.h"
#include "app/WindowProgram.h"
#include "cli/CommandLine.h"

// The command line without Qt's GUI libraries, so that a scheduled run starts quickly; the window
// and the commands that paint are the full program's, which takes this process over.
int main(int argc, char **argv) {
    lodvik::setUpHeap();
    if (argc < 2 || needsGuiCommands(argc, argv))
        return runWindowProgram(argv);
    return runCommandLine(argc, argv);
}
