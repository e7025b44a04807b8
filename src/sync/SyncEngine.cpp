// The sync step: turns what Spotify plays into the user's Slack status.
//
// Rules: a status the user set (text on Slack that is not empty and not the program's own)
// is never touched; every status the program sets expires after STATUS_TTL_SECONDS and is
// renewed before it does while the track plays; podcasts are never shared.
//
// Slack is called only when something would change what it shows, or to renew the status, and
// otherwise read once a minute while music plays, so that a status the user sets, or clears,
// is noticed: a steady track costs about a read a minute and a write every three minutes.

#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <chrono>

#include "player/SpotifyState.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"
#include "state/TimeText.h"
#include "sync/EmojiChoice.h"
#include "sync/WorkHours.h"

namespace {

using namespace std::chrono_literals;

// How long a burst of player signals (a skip sends several) is given to settle, and the least
// time between two steps the player's signals start.
constexpr auto SETTLE = 250ms;
constexpr auto SIGNAL_GAP = 2000ms;
// The program's status is renewed once it has no more than this left before it expires.
constexpr qint64 RENEW_WITHIN_SECONDS = 120;
// While music plays, the status is read at least this often.
constexpr qint64 READ_EVERY_SECONDS = 60;
// While the workspace lacks :spotify:, it is asked again this often; for a while after the user
// set out to add it, more often.
constexpr qint64 EMOJI_CHECK_SECONDS = 30 * 60;
constexpr qint64 EMOJI_WATCH_CHECK_SECONDS = 60;
// The launch's check of a workspace asked before comes within this time.
constexpr int LAUNCH_EMOJI_SPREAD_MS = 10 * 60 * 1000;

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
        case SpotifyState::Kind::NotRunning:
            return QStringLiteral("Spotify isn't running");
        case SpotifyState::Kind::NotPlaying:
        case SpotifyState::Kind::Error:
            break;
    }
    return QStringLiteral("nothing playing");
}

}  // namespace

SyncEngine::SyncEngine(Config& config, AppState& state, SlackClient& slack,
                       const platform::Clock& clock, platform::SpotifyBridge& spotify,
                       QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      slackClient_(slack),
      clock_(clock),
      spotify_(spotify),
      syncContext_(new QObject) {
    syncContext_->moveToThread(&syncThread_);
    connect(&syncThread_, &QThread::finished, syncContext_, &QObject::deleteLater);
    syncThread_.start(QThread::LowPriority);
    timer_.setInterval(std::chrono::milliseconds(qint64(SYNC_SECONDS * 1000)));
    connect(&timer_, &QTimer::timeout, this, &SyncEngine::tickAsync);
    wake_.setSingleShot(true);
    connect(&wake_, &QTimer::timeout, this, &SyncEngine::tickAsync);
    emojiLater_.setSingleShot(true);
    connect(&emojiLater_, &QTimer::timeout, this, &SyncEngine::checkEmojiAsync);
    state_.setSpotifyEmojiAvailable(config_.spotifyEmojiFound());
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
        state_.setNowPlayingLabel(config_.paused() ? QStringLiteral("⏸ paused")
                                                   : outsideHoursLine());
        clearWhileHidden(*token);
        return state_.notifyUI();
    }

    const SpotifyState state = readSpotifyOnMainThread();
    state_.setPlayerName(state.player);
    if (!readPlayer(state)) return state_.notifyUI();
    state_.setNowPlayingLabel(labelFor(state));

    forgetOnNewToken(*token);
    const bool done =
        state.kind == SpotifyState::Kind::Playing ? share(*token, state) : takeDown(*token);
    if (done) {
        state_.setLastError(std::nullopt);
        checkEmojiWhenDue();
    }
    state_.notifyUI();
}

// Shows what the player's reading means. False when it could not be read: its error is shown,
// until a reading succeeds.
bool SyncEngine::readPlayer(const SpotifyState& state) {
    const bool missing = state.fault == SpotifyState::Fault::AppMissing;
    state_.setSpotifyMissing(missing);
    if (state.kind != SpotifyState::Kind::Error) {
        if (state_.lastError() == playerError_) state_.setLastError(std::nullopt);
        return true;
    }
    playerError_ = missing ? noAppMessage() : unreadableMessage(state.message);
    state_.setLastError(playerError_);
    state_.setNowPlayingLabel(missing ? QStringLiteral("⬇ Install the Spotify app")
                                      : QStringLiteral("⚠️ can't read Spotify"));
    return false;
}

// Outside the work-hours window, and when it opens again.
QString SyncEngine::outsideHoursLine() const {
    const QDateTime now = clock_.now();
    const QTime opens = timeOfDay(config_.workHoursRange().start, now);
    return QStringLiteral("🌙 outside work hours, until ") + shortTimeText(opens);
}

// What the engine knows of Slack belongs to one token; a new sign-in starts afresh.
void SyncEngine::forgetOnNewToken(const QString& token) {
    if (token == slack_.token) return;
    slack_ = SlackView{};
    slack_.token = token;
}

// Puts the playing track on Slack when that changes what Slack shows, renews it when it is
// about to expire, and otherwise only reads the status when a read is due. False when Slack
// could not be asked or told (the error line says why) or has to be waited for.
bool SyncEngine::share(const QString& token, const SpotifyState& state) {
    const QString text = firstGraphemes(state.text(), STATUS_TEXT_LIMIT);
    if (text == slack_.refused) return false;  // Slack refused it; the next track may do
    const QString emoji = effectiveEmoji();
    const QString ownText = config_.lastSetText();
    const QDateTime now = clock_.now();
    const bool change = text != ownText || emoji != slack_.emoji;
    const bool renew =
        !slack_.expires.isValid() || now.secsTo(slack_.expires) <= RENEW_WITHIN_SECONDS;
    const bool readDue =
        !slack_.lastRead.isValid() || slack_.lastRead.secsTo(now) >= READ_EVERY_SECONDS;
    if (!readDue && slack_.usersOwn) return usersStatusShows(slack_.usersStatus);
    if (!readDue && !change && !renew) return true;
    if (change || renew) {
        if (const std::optional<QDateTime> slot = slackClient_.nextWriteSlot(token)) {
            return waitFor(*slot, token);
        }
    }
    const std::optional<QString> current = readStatus(token);
    if (!current) return false;
    slack_.usersOwn = !isOwn(*current, ownText);
    if (slack_.usersOwn) return usersStatusShows(*current);
    // Read only: the program's status still shows and needs nothing.
    if (!change && !renew && !current->isEmpty()) return true;
    return write(token, text, emoji);
}

// The user's own status wins: nothing is written, and the line says why.
bool SyncEngine::usersStatusShows(const QString& status) {
    slack_.usersStatus = status;
    state_.setNowPlayingLabel(QStringLiteral("💬 your own status shows: “%1”").arg(status));
    return true;
}

// Nothing to share: takes the program's own status down, if it still shows, and forgets it.
bool SyncEngine::takeDown(const QString& token) {
    const QString ownText = config_.lastSetText();
    if (ownText.isEmpty()) return true;
    if (const std::optional<QDateTime> slot = slackClient_.nextWriteSlot(token)) {
        return waitFor(*slot, token);
    }
    const std::optional<QString> current = readStatus(token);
    if (!current) return false;
    if (!current->isEmpty() && isOwn(*current, ownText)) {
        const SlackReply reply = slackClient_.clearStatus(token);
        if (!replySucceeded(reply)) return failed(reply, token);
    }
    // Cleared, cleared already, or replaced by the user's own: none of the program's shows.
    recordLastSet(QString());
    slack_.emoji.clear();
    slack_.expires = QDateTime();
    return true;
}

// Reads the status showing now; none when Slack gave no answer.
std::optional<QString> SyncEngine::readStatus(const QString& token) {
    const SlackReply reply = slackClient_.readStatus(token);
    const std::optional<QString> current = statusTextIn(reply);
    if (!current) {
        failed(reply, token);
        return std::nullopt;
    }
    slack_.lastRead = clock_.now();
    return current;
}

// Whether the status showing is the program's: none, its last text, or the text it last tried
// to set, which Slack may have applied after the program stopped waiting for the answer.
bool SyncEngine::isOwn(const QString& current, const QString& ownText) const {
    return current.isEmpty() || current == ownText ||
           (!slack_.tried.isEmpty() && current == slack_.tried);
}

// Sets the status; a text Slack finds too long is shortened and tried once more.
bool SyncEngine::write(const QString& token, QString text, const QString& emoji) {
    slack_.tried = text;
    SlackReply reply = slackClient_.setStatus(token, text, emoji);
    if (reply.value(QStringLiteral("error")) == QLatin1String("too_long")) {
        const QString shorter = fitEscaped(text, STATUS_TEXT_LIMIT);
        if (shorter != text) {
            text = slack_.tried = shorter;
            reply = slackClient_.setStatus(token, text, emoji);
        }
    }
    if (!replySucceeded(reply)) {
        if (reply.value(QStringLiteral("error")) == QLatin1String("too_long")) {
            slack_.refused = slack_.tried;
        }
        return failed(reply, token);
    }
    slack_.emoji = emoji;
    slack_.expires = clock_.now().addSecs(STATUS_TTL_SECONDS);
    // Remember the text as Slack keeps it, so the next step recognises it.
    if (text != config_.lastSetText()) recordLastSet(text);
    return true;
}

// The budget of status changes is spent: a step comes again when a change fits, and sends
// whatever is newest then.
bool SyncEngine::waitFor(const QDateTime& when, const QString& token) {
    wakeAt(when);
    return failed(
        {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("ratelimited")}},
        token);
}

void SyncEngine::wakeAt(const QDateTime& when) {
    const qint64 wait = std::max<qint64>(0, clock_.now().msecsTo(when)) + 100;
    QMetaObject::invokeMethod(
        this, [this, wait] { wake_.start(std::chrono::milliseconds(wait)); }, Qt::QueuedConnection);
}

// Asks again whether the workspace has :spotify: while it lacks it, now and then.
void SyncEngine::checkEmojiWhenDue() {
    if (state_.spotifyEmojiAvailable() != std::optional<bool>(false)) return;
    const qint64 now = clock_.now().toSecsSinceEpoch();
    const qint64 since = now - lastEmojiCheck_;
    const bool watching = now < emojiWatchUntil_;
    if (since >= EMOJI_CHECK_SECONDS || (watching && since >= EMOJI_WATCH_CHECK_SECONDS)) {
        checkEmojiAsync();
    }
}

void SyncEngine::watchForEmoji() {
    emojiWatchUntil_ = clock_.now().toSecsSinceEpoch() + EMOJI_CHECK_SECONDS;
}

// Paused or outside work hours: take down the program's own status, if it shows, and forget
// it either way.
void SyncEngine::clearWhileHidden(const QString& token) {
    const QString ownText = config_.lastSetText();
    if (ownText.isEmpty()) return;
    slackClient_.clearOwnStatus(token, ownText);
    recordLastSet(QString());
    slack_.emoji.clear();
    slack_.expires = QDateTime();
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

// Shows why Slack could not be asked or told, and comes back when Slack asked to wait.
bool SyncEngine::failed(const SlackReply& reply, const QString& token) {
    const QString why = slackClient_.explain(reply, token);
    state_.setLastError(why);
    const std::optional<QDateTime> until = slackClient_.waitingUntil(token);
    if (until) wakeAt(*until);
    const bool waiting =
        until || reply.value(QStringLiteral("error")) == QLatin1String("ratelimited");
    state_.setNowPlayingLabel((waiting ? QStringLiteral("⏳ ") : QStringLiteral("⚠️ ")) + why);
    return false;
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
    wake_.stop();
    emojiLater_.stop();
    syncStopped_ = true;
    syncThread_.quit();
    // A running step may be waiting for the main thread: keep serving it until it ends.
    while (!syncThread_.wait(QDeadlineTimer(20))) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void SyncEngine::recordLastSet(const QString& text) {
    config_.setLastSetText(text);
    saveSoon();
}

// Saves the settings on the main thread, and says so when they cannot be kept.
void SyncEngine::saveSoon() {
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
    lastEmojiCheck_ = clock_.now().toSecsSinceEpoch();
    background_.start([this, token = *token] {
        const std::optional<bool> found = slackClient_.spotifyEmojiExists(token);
        state_.setSpotifyEmojiAvailable(found);
        state_.notifyUI();
        if (found && config_.slackToken() == token && config_.spotifyEmojiFound() != found) {
            config_.setSpotifyEmojiFound(*found);
            saveSoon();
        }
    });
}

void SyncEngine::checkEmojiAtLaunch() {
    if (!config_.spotifyEmojiFound()) return checkEmojiAsync();
    lastEmojiCheck_ = clock_.now().toSecsSinceEpoch();  // the last answer counts until then
    emojiLater_.start(int(QRandomGenerator::global()->bounded(LAUNCH_EMOJI_SPREAD_MS)));
}

QString SyncEngine::effectiveEmoji() const {
    return ::effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable());
}

bool SyncEngine::inWorkHours() const {
    return ::inWorkHours(config_.workHoursEnabled(), config_.workHoursRange(), clock_.now());
}
