#pragma once

// Replaces this process with the full program (lodvik-window, beside this one), with the same
// arguments (argv[0] too, so that Qt names the application as before), environment and standard
// streams. Returns only when that fails: the reason on stderr, exit code 1.
int runWindowProgram(char **argv);
