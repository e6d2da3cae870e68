#pragma once

// Start-up of the window program: records the program folder and shows the search window.
// Returns the exit code of the event loop.
int Main(int argc, char **argv);
