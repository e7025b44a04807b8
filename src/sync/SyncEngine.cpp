// The sync step: turns what Spotify plays into the user's Slack status.
//
// Rules: a status the user set (text on Slack that is not empty and not the program's last
// text) is never touched; every status the program sets expires after STATUS_TTL_SECONDS and
// is re-sent on every step while the track plays; podcasts are never shared.

#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>

#include "player/SpotifyState.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"
#include "sync/EmojiChoice.h"
#include "sync/WorkHours.h"

namespace {

using namespace std::chrono_literals;

// How long a burst of player signals (a skip sends several) is given to settle, and the least
// time between two steps the player's signals start.
constexpr auto SETTLE = 250ms;
constexpr auto SIGNAL_GAP = 2000ms;

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
            return QStringLiteral("▶ ") + state.text();
        case SpotifyState::Kind::Podcast:
            return QStringLiteral("🎙 podcast (never shared)");
        case SpotifyState::Kind::NotPlaying:
        case SpotifyState::Kind::Error:
            break;
    }
    return QStringLiteral("nothing playing");
}

}  // namespace

SyncEngine::SyncEngine(Config& config, AppState& state, const platform::Clock& clock,
                       platform::SpotifyBridge& spotify, QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      clock_(clock),
      spotify_(spotify),
      syncContext_(new QObject) {
    syncContext_->moveToThread(&syncThread_);
    connect(&syncThread_, &QThread::finished, syncContext_, &QObject::deleteLater);
    syncThread_.start(QThread::LowPriority);
    timer_.setInterval(std::chrono::milliseconds(qint64(SYNC_SECONDS * 1000)));
    connect(&timer_, &QTimer::timeout, this, &SyncEngine::tickAsync);
    settle_.setSingleShot(true);
    connect(&settle_, &QTimer::timeout, this, [this] {
        sinceSignalStep_.start();
        tickAsync();
    });
}

SyncEngine::~SyncEngine() {
    spotify_.watchChanges({});
    stopSync();
    background_.waitForDone();
}

void SyncEngine::start() {
    timer_.start();
    spotify_.watchChanges([this] { playerChanged(); });
}

void SyncEngine::playerChanged() {
    if (settle_.isActive() || syncStopped_) return;
    std::chrono::milliseconds wait = SETTLE;
    if (sinceSignalStep_.isValid()) {
        wait = std::max(wait, SIGNAL_GAP - std::chrono::milliseconds(sinceSignalStep_.elapsed()));
    }
    settle_.start(wait);
}

void SyncEngine::tick() {
    const std::optional<QString> token = config_.slackToken();
    if (!token) return state_.notifyUI();
    if (config_.paused() || !inWorkHours()) {
        clearWhileHidden(*token);
        return state_.notifyUI();
    }

    const SpotifyState state = readSpotifyOnMainThread();
    state_.setPlayerName(state.player);
    if (state.kind == SpotifyState::Kind::Error) {
        const bool missing = state.fault == SpotifyState::Fault::AppMissing;
        state_.setLastError(missing ? noAppMessage() : unreadableMessage(state.message));
        state_.setNowPlayingLabel(missing ? QStringLiteral("⬇ Install the Spotify app")
                                          : QStringLiteral("⚠️ can't read Spotify"));
        return state_.notifyUI();
    }
    state_.setNowPlayingLabel(labelFor(state));

    const std::optional<QString> current = currentStatusText(*token);
    if (!current) {
        state_.setLastError(QStringLiteral("Slack unreachable"));
        return state_.notifyUI();
    }
    const QString ownText = config_.lastSetText();
    if (!current->isEmpty() && *current != ownText)
        return state_.notifyUI();  // the user's own status

    if (state.kind == SpotifyState::Kind::Playing) {
        // Remember the text as Slack keeps it, so the next step recognises it.
        const QString text = firstGraphemes(state.text(), STATUS_TEXT_LIMIT);
        if (failed(setStatus(*token, text, effectiveEmoji(), clock_))) return state_.notifyUI();
        if (text != ownText) recordLastSet(text);
    } else if (!ownText.isEmpty()) {
        if (failed(clearStatus(*token))) return state_.notifyUI();
        recordLastSet(QString());
    }

    state_.setLastError(std::nullopt);
    if (state_.spotifyEmojiAvailable() == std::optional<bool>(false)) checkEmojiAsync();
    state_.notifyUI();
}

// Paused or outside work hours: take down the program's own status, if it shows, and forget
// it either way.
void SyncEngine::clearWhileHidden(const QString& token) {
    const QString ownText = config_.lastSetText();
    if (ownText.isEmpty()) return;
    clearOwnStatus(token, ownText);
    recordLastSet(QString());
}

SpotifyState SyncEngine::readSpotifyOnMainThread() {
    SpotifyState state;
    const auto read = [&] { state = readSpotify(spotify_); };
    if (QThread::currentThread() == thread()) {
        read();
    } else {
        QMetaObject::invokeMethod(this, read, Qt::BlockingQueuedConnection);
    }
    return state;
}

// Judges the reply of a set or clear. A rate limit fails quietly: the next step retries.
bool SyncEngine::failed(const QJsonObject& reply) {
    if (replySucceeded(reply)) return false;
    const QJsonValue error = reply.value(QStringLiteral("error"));
    const QString code = error.isString() ? error.toString() : QStringLiteral("?");
    if (code != QLatin1String("ratelimited")) state_.setLastError(QStringLiteral("Slack: ") + code);
    return true;
}

void SyncEngine::tickAsync() {
    if (syncStopped_ || stepRequested_.exchange(true)) return;
    QMetaObject::invokeMethod(
        syncContext_,
        [this] {
            stepRequested_ = false;
            if (!syncStopped_) tick();
        },
        Qt::QueuedConnection);
}

void SyncEngine::stopSync() {
    timer_.stop();
    settle_.stop();
    syncStopped_ = true;
    syncThread_.quit();
    // A running step may be waiting for the main thread: keep serving it until it ends.
    while (!syncThread_.wait(QDeadlineTimer(20))) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void SyncEngine::recordLastSet(const QString& text) {
    config_.setLastSetText(text);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (const std::optional<QString> failure = config_.save()) {
                state_.setLastError(QStringLiteral("Couldn't save your settings: ") + *failure);
                state_.notifyUI();
            }
        },
        Qt::QueuedConnection);
}

void SyncEngine::checkEmojiAsync() {
    const std::optional<QString> token = config_.slackToken();
    if (!token) return;
    background_.start([this, token = *token] {
        state_.setSpotifyEmojiAvailable(spotifyEmojiExists(token));
        state_.notifyUI();
    });
}

QString SyncEngine::effectiveEmoji() const {
    return ::effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable());
}

bool SyncEngine::inWorkHours() const {
    return ::inWorkHours(config_.workHoursEnabled(), config_.workHoursRange(), clock_.now());
}
