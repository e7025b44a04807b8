#include "app/CommandLine.h"

#ifndef TRACKGLINT_VERSION
#define TRACKGLINT_VERSION "0"
#endif

namespace {

const QString USAGE = QStringLiteral(
    "Usage: trackglint [OPTION]\n"
    "Shares what the Spotify app plays as your Slack status. Started without options,\n"
    "it runs in the system tray until you quit it.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "      --moved    take over from the running copy (used by the updater and the\n"
    "                 move into ~/Applications, not for starting by hand)\n");

bool isOption(const QString& argument) {
    return argument.startsWith(u'-');
}

bool known(const QString& option) {
    for (const char* name : {"-h", "--help", "--version", "--moved"}) {
        if (option == QLatin1String(name)) return true;
    }
    return false;
}

}  // namespace

std::optional<CommandLineAnswer> answerCommandLine(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (isOption(argument) && !known(argument)) {
            return CommandLineAnswer{
                2, QStringLiteral("trackglint: unknown option %1\n%2").arg(argument, USAGE)};
        }
    }
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h")))
        return CommandLineAnswer{0, USAGE};
    if (arguments.contains(QStringLiteral("--version")))
        return CommandLineAnswer{0, QStringLiteral("Trackglint " TRACKGLINT_VERSION "\n")};
    return std::nullopt;
}
