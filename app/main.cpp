#include "app/Main.h"
#include "cli/CommandLine.h"

// With arguments the program runs one command without a window; without, it opens the window.
int main(int argc, char **argv) {
    if (argc > 1)
        return runCommandLine(argc, argv);
    return Main(argc, argv);
}
