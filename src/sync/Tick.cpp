// The sync step: turns what Spotify plays into the user's Slack status.
//
// Rules: a status the user set (text on Slack that is not empty and not the program's last
// text) is never touched; every status the program sets expires after STATUS_TTL_SECONDS and
// is re-sent on every step while the track plays; podcasts are never shared.

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "main/AppDelegate.h"
#include "main/Constants.h"
#include "player/SpotifyState.h"
#include "slack/SlackApi.h"

namespace {

const QString TITLE_SEPARATOR = QStringLiteral(" — ");

QString noAppMessage() {
    QString shortAddress = SPOTIFY_DOWNLOAD_URL;
    shortAddress.remove(QStringLiteral("https://"));
    return QStringLiteral("Trackglint needs the Spotify desktop app (") + shortAddress +
           QStringLiteral(
               "). After installing, open Spotify once, then quit and reopen "
               "Trackglint.");
}

QString unreadableMessage(const QString& reason) {
    return QStringLiteral("Can't read Spotify (") + reason +
           QStringLiteral(
               "). If you just installed Spotify, open it once, then quit and reopen "
               "Trackglint.");
}

QString labelFor(const SpotifyState& state) {
    switch (state.kind) {
        case SpotifyState::Kind::Playing:
            return QStringLiteral("▶ ") + state.track + TITLE_SEPARATOR + state.artist;
        case SpotifyState::Kind::Podcast:
            return QStringLiteral("🎙 podcast (never shared)");
        case SpotifyState::Kind::NotPlaying:
        case SpotifyState::Kind::Error:
            break;
    }
    return QStringLiteral("nothing playing");
}

}  // namespace

void AppDelegate::tick() {
    const std::optional<QString> token = config_.slackToken();
    if (!token) return notifyUI();
    if (config_.paused() || !inWorkHours()) {
        clearWhileHidden(*token);
        return notifyUI();
    }

    const SpotifyState state = readSpotifyOnMainThread();
    if (state.kind == SpotifyState::Kind::Error) {
        const bool missing = state.message == QLatin1String("noapp");
        setLastError(missing ? noAppMessage() : unreadableMessage(state.message));
        setNowPlayingLabel(missing ? QStringLiteral("⬇ Install the Spotify app")
                                   : QStringLiteral("⚠️ can't read Spotify"));
        return notifyUI();
    }
    setNowPlayingLabel(labelFor(state));

    const std::optional<QString> current = currentStatusText(*token);
    if (!current) {
        setLastError(QStringLiteral("Slack unreachable"));
        return notifyUI();
    }
    const QString ownText = lastSetText();
    if (!current->isEmpty() && *current != ownText) return notifyUI();  // the user's own status

    if (state.kind == SpotifyState::Kind::Playing) {
        // Remember the text as Slack keeps it, so the next step recognises it.
        const QString text =
            firstGraphemes(state.track + TITLE_SEPARATOR + state.artist, STATUS_TEXT_LIMIT);
        if (failed(setStatus(*token, text, effectiveEmoji(), *clock_))) return notifyUI();
        if (text != ownText) recordLastSet(text);
    } else if (!ownText.isEmpty()) {
        if (failed(clearStatus(*token))) return notifyUI();
        recordLastSet(QString());
    }

    setLastError(std::nullopt);
    if (spotifyEmojiAvailable() == std::optional<bool>(false)) checkEmojiAsync();
    notifyUI();
}

// Paused or outside work hours: take down the program's own status, if it shows, and forget
// it either way.
void AppDelegate::clearWhileHidden(const QString& token) {
    const QString ownText = lastSetText();
    if (ownText.isEmpty()) return;
    if (currentStatusText(token) == ownText) clearStatus(token);
    recordLastSet(QString());
}

SpotifyState AppDelegate::readSpotifyOnMainThread() {
    SpotifyState state;
    const auto read = [&] { state = readSpotify(*spotify_); };
    if (QThread::currentThread() == thread()) {
        read();
    } else {
        QMetaObject::invokeMethod(this, read, Qt::BlockingQueuedConnection);
    }
    return state;
}

// Judges the reply of a set or clear. A rate limit fails quietly: the next step retries.
bool AppDelegate::failed(const QJsonObject& reply) {
    if (replySucceeded(reply)) return false;
    const QJsonValue error = reply.value(QStringLiteral("error"));
    const QString code = error.isString() ? error.toString() : QStringLiteral("?");
    if (code != QLatin1String("ratelimited")) setLastError(QStringLiteral("Slack: ") + code);
    return true;
}

void AppDelegate::tickAsync() {
    if (syncStopped_ || stepRequested_.exchange(true)) return;
    QMetaObject::invokeMethod(
        syncContext_,
        [this] {
            stepRequested_ = false;
            if (!syncStopped_) tick();
        },
        Qt::QueuedConnection);
}

void AppDelegate::stopSync() {
    syncStopped_ = true;
    syncThread_.quit();
    // A running step may be waiting for the main thread: keep serving it until it ends.
    while (!syncThread_.wait(QDeadlineTimer(20))) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void AppDelegate::togglePause() {
    config_.setValue(QStringLiteral("paused"), !config_.paused());
    config_.save();
    tickAsync();
}

void AppDelegate::recordLastSet(const QString& text) {
    setLastSetText(text);
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            config_.setValue(QStringLiteral("lastSetText"), text);
            config_.save();
        },
        Qt::QueuedConnection);
}

void AppDelegate::notifyUI() {
    QMetaObject::invokeMethod(this, &AppDelegate::tickNotification, Qt::QueuedConnection);
}
