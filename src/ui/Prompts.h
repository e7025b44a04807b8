#pragma once

#include <QString>

#include "platform/Desktop.h"

// What the menu and the window say, in place of "Check for Updates…", in a copy the package
// manager updates.
inline const QString PACKAGE_MANAGER_UPDATES =
    QStringLiteral("Updates come from your package manager");

// The questions and notices the program puts to the user in alerts, with their words. The views
// and the launch ask these and then call the user's actions.
class Prompts {
  public:
    explicit Prompts(platform::Desktop& desktop) : desktop_(desktop) {}

    // "Disconnect Slack?": true for "Disconnect".
    bool confirmDisconnect();
    // A newer version: true for "Update Now".
    bool offerUpdate(const QString& version);
    void sayUpToDate();
    void sayCheckFailed();
    void sayUpdateFailed(const QString& explanation);
    // The move into the install folder, from the folder named: true for the move.
    bool offerMove(const QString& folderName);
    void sayMoveFailed(const QString& error);
    // Another copy holds the one-copy name but does not answer: true for "End It".
    bool offerToEndHungCopy();
    void sayHungCopyRemains();
    // No browser opened Slack's sign-in page: the address to open by hand.
    void sayOpenByHand(const QUrl& page);

  private:
    platform::Desktop& desktop_;
};
