#pragma once

#include "Startmeny/StartmenyOperations.h"

#include <QStringList>

// The commands of the command line. Each takes the arguments after its name, prints results to
// stdout and progress to stderr, returns the exit code, and raises lodvik::UsageError for a
// command line it cannot understand and lodvik::Error when the operation fails.
namespace cli {

int search(const QStringList &args);
int demo(const QStringList &args);
int figure(const QStringList &args);
int convertDates(const QStringList &args);
int coverage(const QStringList &args);
int summary(const QStringList &args);
int print(const QStringList &args);
int importMdb(const QStringList &args);

// The window's operations without the window: progress goes to stderr.
class HeadlessOperations : public StartmenyOperations {
protected:
    void showProgress(const QString &caption) override;
};

// Takes "--name VALUE" out of args; empty when absent. Raises UsageError when VALUE is missing.
QString takeOption(QStringList &args, const QString &name);
// Raises UsageError when args still holds something.
void requireNoMore(const QStringList &args);

} // namespace cli

// Runs the command line; returns the process exit code.
int runCommandLine(int argc, char **argv);
