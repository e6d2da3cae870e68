#include "MDlib/Main.h"
#include "cli/Commands.h"

int main(int argc, char **argv) {
    if (argc > 1)
        return runCommandLine(argc, argv);
    return Main(argc, argv);
}
