#include "app/Main.h"
#include "MDlib/RunMemory.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"

#include <QApplication>

// The full program: the window, and the command line with the commands that paint. Started
// without arguments it opens the window.
int main(int argc, char **argv) {
    lodvik::setUpHeap();
    if (argc > 1) {
        setGuiCommands({cli::print, cli::checkPrintArguments,
                        [](int &count, char **arguments) -> std::unique_ptr<QCoreApplication> {
                            return std::make_unique<QApplication>(count, arguments);
                        }});
        return runCommandLine(argc, argv);
    }
    return Main(argc, argv);
}
