#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What the program's arguments ask for before anything else starts: the version, the usage,
// or the usage for an option it does not know. None of these needs a display.
struct CommandLineAnswer {
    int exitCode = 0;
    QString text;  // printed on the standard output, or the standard error with exitCode != 0
};

// The answer to `arguments` (without the program's name), or none when the program is to run.
std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments);
