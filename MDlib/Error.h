#pragma once

#include <QString>

#include <stdexcept>

namespace lodvik {

// The one exception type of the program. Its text is meant for the operator (Swedish), and it is
// caught at the boundary of every event handler and command.
class Error : public std::runtime_error {
public:
    explicit Error(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const noexcept { return m_message; }

private:
    QString m_message;
};

// A command line that cannot be understood; the command line answers it with exit code 2.
class UsageError : public Error {
public:
    using Error::Error;
};

// The operator stopped the work (Avbryt, Ctrl+C). Whatever the work promised to leave intact is
// intact; the boundary says so instead of reporting a failure.
class Cancelled : public Error {
public:
    Cancelled() : Error(QStringLiteral("Avbrutet.")) {}
    // Work that leaves part of its result behind says what it left.
    explicit Cancelled(const QString &message) : Error(message) {}
};

} // namespace lodvik
