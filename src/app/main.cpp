// Trackglint: shows what Spotify plays as the user's Slack status.

#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "platform/Bundle.h"
#include "platform/Termination.h"

namespace {

// The arguments after the program's name, as text.
QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments += QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    // The version, the usage or an unknown option are answered before the application exists,
    // so they need no display.
    if (const std::optional<CommandLineAnswer> answer =
            answerCommandLine(argumentsOf(argc, argv))) {
        std::fputs(answer->text.toLocal8Bit().constData(), answer->exitCode == 0 ? stdout : stderr);
        return answer->exitCode;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trackglint"));
    // An agent: closing its window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    if (const std::optional<QString> icon =
            platform::resourcePath(QStringLiteral("trackglint.png"))) {
        QApplication::setWindowIcon(QIcon(*icon));
    }

    AppDelegate delegate;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    platform::quitOnTerminationSignals([&delegate] { delegate.quit(); });
    // A copy that hands over to the one already running ends here, before it has a tray
    // item or has talked to Slack.
    if (!delegate.applicationDidFinishLaunching(QCoreApplication::arguments())) return 0;
    return QApplication::exec();
}
