#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QWaitCondition>
#include <atomic>
#include <memory>

#include "platform/Clock.h"
#include "platform/SpotifyBridge.h"
#include "player/SpotifyState.h"
#include "settings/Config.h"
#include "slack/SlackClient.h"
#include "state/AppState.h"
#include "sync/StepDecision.h"

// The sync engine: every SYNC_SECONDS, and whenever asked, one step turns what Spotify plays
// into the user's Slack status.
//
// Lives on the main thread. Steps run one at a time on a worker thread of its own and hop to
// the main thread to read the player; each hands the reading to every workspace, which steps
// on its own on the engine's pool (see WorkspaceLanes.cpp), one step at a time per workspace.
// Emoji checks asked for from outside run on a small pool the engine waits for when it goes;
// those a step makes run in the workspace's step.
class SyncEngine : public QObject {
    Q_OBJECT

  public:
    SyncEngine(Config& config, AppState& state, SlackClient& slack, const platform::Clock& clock,
               platform::SpotifyBridge& spotify, QObject* parent = nullptr);
    ~SyncEngine() override;

    // Starts asking for steps: every SYNC_SECONDS, and shortly after the player reports a
    // change (a burst of changes makes one step; such steps come at least two seconds apart).
    void start();

    // One sync step. Runs on a worker; it waits for the main thread and for Slack.
    void tick();
    // Schedules a sync step and returns at once. Requests made while a step waits to start
    // are merged into it, so a burst of requests during a step yields at most one more step.
    void tickAsync();
    // Stops the engine: no step starts afterwards, and a running one is waited for.
    void stopSync();
    // Returns once no workspace's step is under way; steps asked for meanwhile included.
    void finishSteps();
    // Clears the program's own status in every workspace where it still shows, all at once,
    // and returns when each is done. The texts stay remembered, so a status that could not be
    // cleared now is recognised and cleared after the next start.
    void clearEverywhere();

    // Asks Slack in the background whether each workspace signed in to, or the one `key`
    // names, has the :spotify: emoji, and keeps the answers.
    void checkEmojiAsync();
    void checkEmojiAsync(const QString& key);
    // The check at launch: at once for a workspace never asked, else from a random moment in
    // the first minutes, the last answer holding until then, so that a team whose copies start
    // together does not ask all at once.
    void checkEmojiAtLaunch();
    // The user set out to add :spotify: to a workspace: for a while, steps ask again for it
    // every minute rather than every half hour.
    void watchForEmoji();
    // The emoji to send with the next status to the workspace `key` names.
    QString effectiveEmoji(const QString& key) const;
    // Whether sharing is allowed now as far as the work-hours window goes.
    bool inWorkHours() const;

  signals:
    // A step read the player and handed the reading on; the workspaces' own steps may still
    // run.
    void stepped();

  private:
    void handOutReading();
    static std::optional<SpotifyState> trackShown(SpotifyState state);
    void playerChanged();
    SpotifyState readSpotifyOnMainThread(bool read);
    bool readPlayer(const SpotifyState& state);
    QString outsideHoursLine() const;
    WorkspaceState stepIn(const Workspace& workspace, const SpotifyState& state, SlackView& view);
    // Whether the workspace has :spotify:, as last answered (none: never), when it was last
    // asked (Unix seconds), and when the launch's second look is due.
    struct EmojiAnswer {
        std::optional<bool> found;
        qint64 lastCheck = 0;
        std::optional<qint64> recheckAt;
    };
    // Everything the engine knows of one workspace, and its own line of steps, one at a time on
    // the engine's pool, never waiting for another workspace's: what is known of its Slack,
    // what its last step found, its :spotify: answer, and the step asked for while one runs (the
    // newest replaces any other). Guarded by lanesMutex_.
    struct Lane {
        SlackView view;
        WorkspaceState found;
        EmojiAnswer emoji;
        bool running = false;
        std::optional<std::optional<SpotifyState>> next;
    };
    // The workspace's lane, made when first needed; lanesMutex_ held.
    const std::shared_ptr<Lane>& laneOf(const QString& key);
    // Workspaces step side by side up to this many at once.
    static constexpr int LANES = 8;
    // Steps the workspace with the player's `reading`; with none, takes its status down.
    void stepInLane(const QString& key, const std::optional<SpotifyState>& reading);
    void runLane(const QString& key, const std::shared_ptr<Lane>& lane,
                 std::optional<SpotifyState> reading);
    WorkspaceState stepLane(const QString& key, Lane& lane,
                            const std::optional<SpotifyState>& reading);
    WorkspaceState hideIn(const Workspace& workspace, SlackView& view);
    void laneFinished(bool asked);
    void show(const QList<Workspace>& all, const QHash<QString, WorkspaceState>& found, bool asked);
    void showFound(const QList<Workspace>& all, const QHash<QString, WorkspaceState>& found,
                   bool asked);
    void forgetRemoved(const QList<Workspace>& all);
    // One workspace's part of a step: the workspace, what is known of it, and what was found.
    struct Step {
        const Workspace& workspace;
        SlackView& view;
        WorkspaceState found;
        qint64 waitSpreadMs = 0;  // drawn for the step: see StepFacts
    };
    StepFacts factsFor(const Workspace& workspace, const SpotifyState& state) const;
    bool carryOut(Step& step, StepFacts facts);
    bool clear(Step& step);
    void forgetOwnStatus(const Workspace& workspace, SlackView& view);
    std::optional<QString> readStatus(Step& step);
    bool usersStatusShows(Step& step, const QString& status);
    bool write(Step& step, QString text, const QString& emoji, const QDateTime& expires);
    bool waitFor(Step& step, const QDateTime& when);
    bool failed(Step& step, const SlackReply& reply);
    void wakeAt(const QDateTime& when);
    EmojiLook emojiLookDue(const QString& key) const;
    void markEmojiAsked(const QString& key);
    void askForEmoji(const QString& key, const QString& token);
    void recordLastSet(const QString& key, const QString& text);
    void saveSoon();

    Config& config_;
    AppState& state_;
    SlackClient& slackClient_;
    const platform::Clock& clock_;
    platform::SpotifyBridge& spotify_;

    QTimer timer_;
    QTimer settle_;
    QTimer wake_;  // a step when Slack can be told again
    QElapsedTimer sinceSignalStep_;
    QThread syncThread_;
    QObject* syncContext_;  // lives on syncThread_; steps are queued to it
    std::atomic<bool> stepRequested_ = false;
    std::atomic<bool> syncStopped_ = false;
    mutable QMutex lanesMutex_;
    QWaitCondition lanesIdle_;
    QHash<QString, std::shared_ptr<Lane>> lanes_;  // by workspace key
    QMutex showing_;                               // one lane at a time shows what it found
    QThreadPool lanePool_;
    std::atomic<qint64> emojiWatchUntil_ = 0;  // Unix seconds
    QThreadPool background_;
};
