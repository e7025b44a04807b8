#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <atomic>

#include "platform/Clock.h"
#include "platform/SpotifyBridge.h"
#include "settings/Config.h"
#include "state/AppState.h"

struct SpotifyState;

// The sync engine: every SYNC_SECONDS, and whenever asked, one step turns what Spotify plays
// into the user's Slack status.
//
// Lives on the main thread. Steps run one at a time on a worker thread of its own and hop to
// the main thread to read the player; emoji checks run on a small pool the engine waits for
// when it goes.
class SyncEngine : public QObject {
    Q_OBJECT

  public:
    SyncEngine(Config& config, AppState& state, const platform::Clock& clock,
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
    // Remembers `text` as the program's own status at once, and saves it on the main thread.
    void recordLastSet(const QString& text);

    // Asks Slack in the background whether the workspace has the :spotify: emoji.
    void checkEmojiAsync();
    // The emoji to send with the next status.
    QString effectiveEmoji() const;
    // Whether sharing is allowed now as far as the work-hours window goes.
    bool inWorkHours() const;

  private:
    void playerChanged();
    void clearWhileHidden(const QString& token);
    SpotifyState readSpotifyOnMainThread();
    bool failed(const QJsonObject& reply);

    Config& config_;
    AppState& state_;
    const platform::Clock& clock_;
    platform::SpotifyBridge& spotify_;

    QTimer timer_;
    QTimer settle_;
    QElapsedTimer sinceSignalStep_;
    QThread syncThread_;
    QObject* syncContext_;  // lives on syncThread_; steps are queued to it
    std::atomic<bool> stepRequested_ = false;
    std::atomic<bool> syncStopped_ = false;
    QThreadPool background_;
};
