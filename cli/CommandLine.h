#pragma once

// Runs the command line (argv[1] names the command); returns the process exit code.
int runCommandLine(int argc, char **argv);
