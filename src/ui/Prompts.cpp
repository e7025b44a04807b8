#include "ui/Prompts.h"

#include "platform/Bundle.h"
#include "ui/PlatformWords.h"

bool Prompts::confirmDisconnect() {
    return desktop_.alert({
               QStringLiteral("Disconnect Slack?"),
               QStringLiteral(
                   "Your status will be cleared and Trackglint will forget your sign-in."),
               {QStringLiteral("Disconnect"), QStringLiteral("Cancel")},
           }) == 0;
}

bool Prompts::offerUpdate(const QString& version) {
    return desktop_.alert(
               {QStringLiteral("Trackglint %1 is available").arg(version),
                QStringLiteral(
                    "You have %1. The update downloads and installs itself in a few seconds.")
                    .arg(platform::appVersion()),
                {QStringLiteral("Update Now"), QStringLiteral("Later")}}) == 0;
}

void Prompts::sayUpToDate() {
    desktop_.alert(
        {QStringLiteral("You're up to date"),
         QStringLiteral("Trackglint %1 is the latest version.").arg(platform::appVersion()),
         {}});
}

void Prompts::sayCheckFailed() {
    desktop_.alert({QStringLiteral("Couldn't check for updates"),
                    QStringLiteral("The update service didn't answer. Check your connection, or "
                                   "try again later."),
                    {}});
}

void Prompts::sayUpdateFailed(const QString& explanation) {
    desktop_.alert({QStringLiteral("Update didn't complete"), explanation, {}});
}

bool Prompts::offerMove(const QString& folderName) {
    const PlatformWords& words = platformWords();
    return desktop_.alert({words.moveTitle,
                           words.moveText.arg(folderName),
                           {words.moveButton, QStringLiteral("Not Now")}}) == 0;
}

bool Prompts::offerToEndHungCopy() {
    return desktop_.alert({QStringLiteral("Trackglint is already running but doesn't answer"),
                           QStringLiteral("It may be stuck. End it and start this copy instead?"),
                           {QStringLiteral("End It"), QStringLiteral("Cancel")}}) == 0;
}

void Prompts::sayHungCopyRemains() {
    desktop_.alert({QStringLiteral("Couldn't end the other copy"),
                    QStringLiteral("Another program holds Trackglint's place in this session. "
                                   "Log out and back in, then start Trackglint again."),
                    {}});
}

namespace {

// `address` in lines of a width an alert shows whole: it holds no spaces to wrap at. Browsers
// drop the line breaks from an address pasted into them.
QString inLines(const QString& address) {
    constexpr qsizetype LINE = 60;
    QStringList lines;
    for (qsizetype at = 0; at < address.size(); at += LINE) lines += address.mid(at, LINE);
    return lines.join(u'\n');
}

}  // namespace

void Prompts::sayOpenByHand(const QUrl& page) {
    const QString address = page.toString(QUrl::FullyEncoded);
    const int answer =
        desktop_.alert({QStringLiteral("Open this address in your browser to sign in"),
                        inLines(address),
                        {QStringLiteral("Copy Address"), QStringLiteral("Close")}});
    if (answer == 0) desktop_.copy(address);
}

void Prompts::sayMoveFailed(const QString& error) {
    desktop_.alert(
        {QStringLiteral("Couldn't move automatically"), platformWords().moveFailed.arg(error), {}});
}
