// Trackglint: shows what Spotify plays as the user's Slack status.

#include <QApplication>
#include <QIcon>

#include "app/AppDelegate.h"
#include "platform/Bundle.h"
#include "platform/Termination.h"

int main(int argc, char* argv[]) {
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
