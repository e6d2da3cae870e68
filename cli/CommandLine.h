#pragma once

#include <QStringList>

#include <memory>

class QCoreApplication;

// The commands that paint (print) need Qt's GUI libraries, which the command-line program does
// not load: the full program sets them before it runs a command, and the command-line program
// leaves such a command to the full program.
struct GuiCommands {
    int (*print)(const QStringList &args) = nullptr;
    // print's usage errors, found before the graphical application starts.
    void (*checkPrintArguments)(const QStringList &args) = nullptr;
    // The graphical application the commands paint in.
    std::unique_ptr<QCoreApplication> (*application)(int &argc, char **argv) = nullptr;
};
void setGuiCommands(const GuiCommands &commands);

// Whether the command the arguments name (after any -q before it) is one of them.
bool needsGuiCommands(int argc, char **argv);

// Runs the command line (argv[1] names the command); returns the process exit code.
int runCommandLine(int argc, char **argv);
