// Starting and stopping the sync engine with the process.

#include <QCoreApplication>
#include <chrono>

#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "slack/SlackApi.h"

void AppDelegate::restoreLastSetText() {
    setLastSetText(config_.lastSetText());
}

void AppDelegate::startSync() {
    restoreLastSetText();
    timer_.setInterval(std::chrono::milliseconds(qint64(SYNC_SECONDS * 1000)));
    connect(&timer_, &QTimer::timeout, this, &AppDelegate::tickAsync, Qt::UniqueConnection);
    timer_.start();
    tickAsync();
    checkEmojiAsync();
}

void AppDelegate::quit() {
    QCoreApplication::quit();
}

void AppDelegate::applicationWillTerminate() {
    timer_.stop();
    stopSync();
    // Saves and notifications the last step handed to the main thread still happen.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);

    const std::optional<QString> token = config_.slackToken();
    const QString ownText = lastSetText();
    if (!token || ownText.isEmpty()) return;
    // The text stays remembered, so a status that could not be cleared now is recognised
    // and cleared after the next start.
    if (currentStatusText(*token) == ownText) clearStatus(*token);
}
