#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <span>
#include <vector>

// The help texts of the command line, written once and shown three ways: as --help, as the
// manual page and as the data of the bash completion. Placeholders are in capitals (TEXT, FIL,
// ÅÅÅÅ-MM-DD); everything else in a synopsis is typed as it stands.
namespace cli::help {

struct Option {
    const char *name;       // "--period"
    const char *value;      // its placeholder ("ÅÅÅÅ-MM-DD"), or nullptr for a flag
    const char *text;       // what it does
    const char *fileType{}; // the value is a file with this extension ("pdf")
};

struct Argument {
    const char *name;       // a placeholder, or a word typed as it stands
    const char *text;       // what it is
    int position = 1;       // arguments with the same position are alternatives
    const char *fileType{}; // the argument is a file with this extension ("mdb")
};

// A list of names shown after the options, e.g. the figure operations.
struct NameList {
    const char *title;
    std::function<QStringList()> names;
};

struct Command {
    const char *name;
    const char *synopsis;    // after "lodvikprodsok "
    const char *summary;     // one line for the list of commands
    const char *description; // a paragraph; wrapped when shown
    std::vector<Argument> arguments;
    std::vector<Option> options;
    std::vector<NameList> lists;
    // Completion words for the first argument when it is not a word of its own (figure's
    // OPERATION); empty otherwise.
    std::function<QStringList()> firstArgumentWords;
};

// A paragraph of the overall help under a title ("Slutstatus").
struct Topic {
    const char *title;
    const char *text;
};

struct Program {
    const char *name;        // "lodvikprodsok"
    const char *displayName; // "LodvikProdSok"
    const char *version;
    const char *summary; // the manual page's one-line description
    const char *description;
    std::span<const Command> commands;
    std::span<const Topic> topics;
};

// "Användning: …" and the synopsis of every command: what a usage error shows.
QString usage(const Program &program);
// lodvikprodsok --help
QString overview(const Program &program);
// lodvikprodsok COMMAND --help
QString commandHelp(const Program &program, const Command &command);
// The manual page lodvikprodsok(1) in roff.
QString manualPage(const Program &program);
// Bash assignments of local variables that the completion function reads: the commands, each
// command's options, what each option's value and each argument is.
QString completionData(const Program &program);

// True when args asks for the command's help: -h or --help that is not an option's value.
bool asksForHelp(const Command &command, const QStringList &args);

} // namespace cli::help
