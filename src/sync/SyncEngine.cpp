// The sync step: turns what Spotify plays into the user's Slack status.
//
// Rules: a status the user set (text on Slack that is not empty and not the program's own)
// is never touched; every status the program sets expires when the track ends, and at most
// STATUS_TTL_SECONDS after it is set, and is renewed before it does while the track plays on;
// podcasts are never shared.
//
// Slack is called only when something would change what it shows, or to renew the status, and
// otherwise read every 90 seconds while the user's own status shows, so that the music comes
// back when it goes: a track that ends within five minutes costs a read and a write. A step that
// waits for Slack's budget comes back a random spread after the time it names, so that copies
// Slack refused together do not call again together.

#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <chrono>
#include <thread>
#include <vector>

#include "player/SpotifyState.h"
#include "slack/SlackApi.h"
#include "state/Constants.h"
#include "state/TimeText.h"
#include "sync/PrivateArtists.h"
#include "sync/StatusFormat.h"
#include "sync/StepLines.h"
#include "sync/WorkHours.h"

namespace {

using namespace std::chrono_literals;

// How long a burst of player signals (a skip sends several) is given to settle, and the least
// time between two steps the player's signals start.
constexpr auto SETTLE = 250ms;
constexpr auto SIGNAL_GAP = 2000ms;

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
    lanePool_.setMaxThreadCount(LANES);
    timer_.setInterval(std::chrono::milliseconds(qint64(SYNC_SECONDS * 1000)));
    connect(&timer_, &QTimer::timeout, this, &SyncEngine::tickAsync);
    wake_.setSingleShot(true);
    connect(&wake_, &QTimer::timeout, this, &SyncEngine::tickAsync);
    for (const Workspace& workspace : config_.workspaces())
        laneOf(workspace.key())->emoji.found = workspace.spotifyEmojiFound;
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
    lanePool_.waitForDone();
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
    handOutReading();
    QMetaObject::invokeMethod(this, &SyncEngine::stepped, Qt::QueuedConnection);
}

// Reads the player and hands the reading to every workspace signed in to; paused, outside work
// hours or with a player that cannot be read, tells every workspace to take its status down.
void SyncEngine::handOutReading() {
    const QList<Workspace> all = config_.workspaces();
    QList<Workspace> signedIn = all;
    signedIn.removeIf([](const Workspace& workspace) { return workspace.token.isEmpty(); });
    forgetRemoved(all);
    if (signedIn.isEmpty()) {
        return showFound(all, {}, false);
    }
    QHash<QString, WorkspaceState> notSharing;
    for (const Workspace& workspace : signedIn)
        notSharing[workspace.key()] = {WorkspaceState::Kind::NotSharing, {}};
    if (config_.paused() || !inWorkHours()) {
        state_.setNowPlayingLabel(config_.paused() ? QStringLiteral("⏸ paused")
                                                   : outsideHoursLine());
        readSpotifyOnMainThread(false);
        state_.setPlayingTrack(std::nullopt);
        for (const Workspace& workspace : signedIn) stepInLane(workspace.key(), std::nullopt);
        return showFound(all, notSharing, false);
    }

    const SpotifyState state = readSpotifyOnMainThread(true);
    state_.setPlayerName(state.kind == SpotifyState::Kind::Unshared ? QString() : state.player);
    state_.setPlayingTrack(trackShown(state));
    if (!readPlayer(state)) return showFound(all, notSharing, false);
    // A track of an artist the user keeps private is taken down as if nothing played.
    const std::optional<QString> kept = privateArtistOf(state.artists, config_.privateArtists());
    state_.setNowPlayingLabel(kept ? keptPrivateLine(*kept)
                                   : nowPlayingLine(state, config_.statusFormat()));
    const SpotifyState shared = kept ? SpotifyState::notPlaying() : state;
    // Each workspace steps on its own: one that waits for its Slack holds no other back, and
    // shows what it found when it is done.
    for (const Workspace& workspace : signedIn) stepInLane(workspace.key(), shared);
}

// The track playing, as the views show it: without the time it has left, which changes at
// every step and is no change to show.
std::optional<SpotifyState> SyncEngine::trackShown(SpotifyState state) {
    if (state.kind != SpotifyState::Kind::Playing) return std::nullopt;
    state.remainingMs.reset();
    return state;
}

// One workspace's part of a step: shares the track there, or takes the program's status down.
WorkspaceState SyncEngine::stepIn(const Workspace& workspace, const SpotifyState& state,
                                  SlackView& view) {
    Step step{workspace, view, {}, QRandomGenerator::global()->bounded(WAIT_SPREAD_MS)};
    const bool playing = state.kind == SpotifyState::Kind::Playing;
    StepFacts facts = factsFor(workspace, state);
    facts.waitSpreadMs = step.waitSpreadMs;
    const bool done = carryOut(step, facts);
    if (done) {
        // Quiet: the user's own status is only read, or the program's shows nowhere.
        const bool quiet = view.usersOwn || (!playing && workspace.lastSetText.isEmpty());
        const EmojiLook look = emojiLookDue(workspace.key());
        if (look == EmojiLook::Now || (look == EmojiLook::WhenQuiet && quiet))
            askForEmoji(workspace.key(), workspace.token);
        if (step.found.kind == WorkspaceState::Kind::NotStepped) {
            step.found.kind =
                playing ? WorkspaceState::Kind::Sharing : WorkspaceState::Kind::NotSharing;
        }
    }
    return step.found;
}

// Shows what was found, one at a time with what the workspaces' own steps show.
void SyncEngine::showFound(const QList<Workspace>& all, const QHash<QString, WorkspaceState>& found,
                           bool asked) {
    QMutexLocker lock(&showing_);
    show(all, found, asked);
}

// Shows what the step found: each workspace's state, and what went wrong with Slack. With one
// workspace, that is its trouble; with several, the first workspace in trouble, named. What
// went wrong is left as it is when no workspace was asked (`asked` false).
void SyncEngine::show(const QList<Workspace>& all, const QHash<QString, WorkspaceState>& found,
                      bool asked) {
    QHash<QString, WorkspaceState> states;
    std::optional<QString> trouble;
    for (const Workspace& workspace : all) {
        WorkspaceState state = found.value(workspace.key());
        if (workspace.token.isEmpty()) state = {WorkspaceState::Kind::SignedOut, {}};
        states[workspace.key()] = state;
        const bool failed = state.kind == WorkspaceState::Kind::Waiting ||
                            state.kind == WorkspaceState::Kind::Trouble ||
                            state.kind == WorkspaceState::Kind::Refused;
        if (failed && !trouble) {
            trouble = all.size() == 1 ? state.reason
                                      : workspace.title() + QStringLiteral(": ") + state.reason;
        }
    }
    if (asked) state_.setTrouble(AppState::Trouble::Slack, trouble);
    state_.setWorkspaceStates(states);
}

// Shows what the player's reading means. False when it could not be read: its error is shown,
// until a reading succeeds.
bool SyncEngine::readPlayer(const SpotifyState& state) {
    const bool missing = state.fault == SpotifyState::Fault::AppMissing;
    state_.setSpotifyMissing(missing);
    if (state.kind != SpotifyState::Kind::Error) {
        state_.setTrouble(AppState::Trouble::Player, std::nullopt);
        return true;
    }
    state_.setTrouble(AppState::Trouble::Player,
                      missing ? noSpotifyAppMessage() : unreadablePlayerMessage(state.message));
    state_.setNowPlayingLabel(missing ? QStringLiteral("⬇ Install the Spotify app")
                                      : QStringLiteral("⚠️ can't read Spotify"));
    return false;
}

// What the step's decisions in `workspace` go by, before its status is read.
StepFacts SyncEngine::factsFor(const Workspace& workspace, const SpotifyState& state) const {
    StepFacts facts;
    facts.playing = state.kind == SpotifyState::Kind::Playing;
    if (facts.playing) facts.text = statusText(config_.statusFormat(), state);
    facts.emoji = effectiveEmoji(workspace.key());
    facts.ownText = workspace.lastSetText;
    facts.writeSlot = slackClient_.nextWriteSlot(workspace.token);
    facts.readSlot = slackClient_.nextReadSlot(workspace.token);
    facts.emojiLook = emojiLookDue(workspace.key());
    facts.now = clock_.now();
    if (facts.playing && state.remainingMs)
        facts.trackEnds = facts.now.addMSecs(*state.remainingMs);
    return facts;
}

// Carries out the step's decisions in one workspace: shares the playing track when that
// changes what Slack shows, renews it before it expires, or takes the program's status down,
// reading the status first where a decision needs it. False when Slack could not be asked or
// told (the error line says why) or has to be waited for.
bool SyncEngine::carryOut(Step& step, StepFacts facts) {
    const Workspace& workspace = step.workspace;
    SlackView& view = step.view;
    for (;;) {
        const Decision decision = decideStep(view, facts);
        switch (decision.act) {
            case Act::Done:
                return true;
            case Act::Read:
                facts.current = readStatus(step);
                if (!facts.current) return false;
                if (facts.playing) view.usersOwn = false;  // unless the next decision finds it
                continue;
            case Act::AskEmoji:  // this minute's call; the status is read a minute later
                view.lastRead = facts.now;
                askForEmoji(workspace.key(), workspace.token);
                return true;
            case Act::Wait:
                return waitFor(step, decision.until);
            case Act::Write:
                return write(step, facts.text, facts.emoji, decision.until);
            case Act::Clear:
                return clear(step);
            case Act::Forget:
                forgetOwnStatus(workspace, view);
                return true;
            case Act::UsersOwn:
                view.usersOwn = true;
                return usersStatusShows(step, decision.status);
            case Act::Refused:
                step.found = {WorkspaceState::Kind::Refused, view.refusedWhy};
                return false;
        }
    }
}

// The user's own status wins: nothing is written, and the line says why.
bool SyncEngine::usersStatusShows(Step& step, const QString& status) {
    step.view.usersStatus = status;
    step.found = {WorkspaceState::Kind::UsersOwn, status};
    return true;
}

// Takes the program's status down, and forgets it.
bool SyncEngine::clear(Step& step) {
    const SlackReply reply = slackClient_.clearStatus(step.workspace.token);
    if (!replySucceeded(reply)) return failed(step, reply);
    forgetOwnStatus(step.workspace, step.view);
    return true;
}

void SyncEngine::forgetOwnStatus(const Workspace& workspace, SlackView& view) {
    recordLastSet(workspace.key(), QString());
    view.emoji.clear();
    view.expires = QDateTime();
}

// Reads the status showing now; none when Slack gave no answer.
std::optional<QString> SyncEngine::readStatus(Step& step) {
    const SlackReply reply = slackClient_.readStatus(step.workspace.token);
    const std::optional<QString> current = statusTextIn(reply);
    if (!current) {
        failed(step, reply);
        return std::nullopt;
    }
    step.view.lastRead = clock_.now();
    return current;
}

// Sets the status, to expire at `expires`; a text Slack finds too long is shortened and tried
// once more.
bool SyncEngine::write(Step& step, QString text, const QString& emoji, const QDateTime& expires) {
    const Workspace& workspace = step.workspace;
    SlackView& view = step.view;
    view.tried = text;
    SlackReply reply = slackClient_.setStatus(workspace.token, text, emoji, expires);
    if (reply.value(QStringLiteral("error")) == QLatin1String("too_long")) {
        const QString shorter = fitEscaped(text, STATUS_TEXT_LIMIT);
        if (shorter != text) {
            text = view.tried = shorter;
            reply = slackClient_.setStatus(workspace.token, text, emoji, expires);
        }
    }
    if (!replySucceeded(reply)) {
        const bool tooLong = reply.value(QStringLiteral("error")) == QLatin1String("too_long");
        failed(step, reply);
        if (tooLong)
            std::tie(view.refused, view.refusedWhy) = std::tuple(view.tried, step.found.reason);
        return false;
    }
    view.emoji = emoji;
    view.expires = expires;
    // Remember the text as Slack keeps it, so the next step recognises it.
    if (text != workspace.lastSetText) recordLastSet(workspace.key(), text);
    return true;
}

// The budget of status changes is spent: a step comes again when a change fits, and sends
// whatever is newest then.
bool SyncEngine::waitFor(Step& step, const QDateTime& when) {
    wakeAt(when);
    step.found = {WorkspaceState::Kind::Waiting,
                  slackClient_.waitExplanation(step.workspace.token)};
    return false;
}

void SyncEngine::wakeAt(const QDateTime& when) {
    const qint64 wait = std::max<qint64>(0, clock_.now().msecsTo(when)) + 100;
    QMetaObject::invokeMethod(
        this, [this, wait] { wake_.start(std::chrono::milliseconds(wait)); }, Qt::QueuedConnection);
}

// Lists the players, as the user can share from them, and with `read`, reads the shared ones.
SpotifyState SyncEngine::readSpotifyOnMainThread(bool read) {
    SpotifyState state;
    const auto ask = [&] {
        const PlayerChoices choices = config_.sharedPlayers();
        const platform::PlayerList players = spotify_.players();
        state_.setPlayers(sharedPlayers(players.running, choices));
        if (read) state = readSpotify(spotify_, players, choices);
    };
    if (QThread::currentThread() == thread()) {
        ask();
    } else {
        QMetaObject::invokeMethod(this, ask, Qt::BlockingQueuedConnection);
    }
    return state;
}

// Shows why Slack could not be asked or told, and comes back when Slack asked to wait.
bool SyncEngine::failed(Step& step, const SlackReply& reply) {
    const QString& token = step.workspace.token;
    const QString why = slackClient_.explain(reply, token);
    const std::optional<QDateTime> until = slackClient_.waitingUntil(token);
    if (until) wakeAt(until->addMSecs(step.waitSpreadMs));
    const bool waiting =
        until || reply.value(QStringLiteral("error")) == QLatin1String("ratelimited");
    step.found = {waiting ? WorkspaceState::Kind::Waiting : WorkspaceState::Kind::Trouble, why};
    return false;
}

void SyncEngine::clearEverywhere() {
    std::vector<std::thread> clears;
    for (const Workspace& workspace : config_.workspaces()) {
        if (workspace.token.isEmpty() || workspace.lastSetText.isEmpty()) continue;
        clears.emplace_back([this, workspace] {
            slackClient_.clearOwnStatus(workspace.token, workspace.lastSetText);
        });
    }
    for (std::thread& clear : clears) clear.join();
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
    syncStopped_ = true;
    syncThread_.quit();
    // A running step may be waiting for the main thread: keep serving it until it ends.
    while (!syncThread_.wait(QDeadlineTimer(20))) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    finishSteps();
}

// Remembers `text` as the program's own status in the workspace at once, and saves it on the
// main thread.
void SyncEngine::recordLastSet(const QString& key, const QString& text) {
    config_.setLastSetText(key, text);
    saveSoon();
}

// Saves the settings on the main thread, and says so when they cannot be kept.
void SyncEngine::saveSoon() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            const std::optional<QString> failure = config_.save();
            state_.setTrouble(
                AppState::Trouble::Settings,
                failure ? std::optional(QStringLiteral("Couldn't save your settings: ") + *failure)
                        : std::nullopt);
        },
        Qt::QueuedConnection);
}

bool SyncEngine::inWorkHours() const {
    return ::inWorkHours(config_.workHoursEnabled(), config_.workHoursRange(), clock_.now());
}

// Outside the work-hours window, and when it opens again.
QString SyncEngine::outsideHoursLine() const {
    const QDateTime now = clock_.now();
    const QTime opens = timeOfDay(config_.workHoursRange().start, now);
    return QStringLiteral("🌙 outside work hours, until ") + shortTimeText(opens);
}
