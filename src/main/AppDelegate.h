#pragma once

#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>

#include "platform/Clock.h"
#include "platform/SpotifyBridge.h"
#include "settings/Config.h"

struct SpotifyState;

// The one object that owns the program's run-time state: the settings, the sync engine and
// the display state that the menu and the dashboard show.
//
// Lives on the main thread. Sync steps run one at a time on a worker thread of their own;
// emoji checks run on a small pool. The display state is guarded and may be read anywhere.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    // The outside world the delegate talks to; tests replace parts of it.
    struct Environment {
        QString configPath;
        std::unique_ptr<platform::Clock> clock;
        std::unique_ptr<platform::SpotifyBridge> spotify;
    };
    // The real world: the settings file in the home folder, the system clock and the
    // platform's Spotify bridge.
    static Environment systemEnvironment();

    explicit AppDelegate(Environment environment = systemEnvironment(), QObject* parent = nullptr);
    ~AppDelegate() override;

    Config& config() { return config_; }
    const platform::Clock& clock() const { return *clock_; }

    // Display state.
    QString lastSetText() const;
    QString nowPlayingLabel() const;
    std::optional<QString> lastError() const;
    std::optional<bool> spotifyEmojiAvailable() const;

    // One sync step. Runs on a worker; it waits for the main thread and for Slack.
    void tick();
    // Schedules a sync step and returns at once. Requests made while a step waits to start
    // are merged into it, so a burst of requests during a step yields at most one more step.
    void tickAsync();
    // Stops the sync engine: no step starts afterwards, and a running one is waited for.
    void stopSync();
    // Flips the pause setting, saves it and starts a step.
    void togglePause();
    // Remembers `text` as the program's own status at once, and persists it on the main thread.
    void recordLastSet(const QString& text);
    // Tells the user interface, on the main thread, that the display state may have changed.
    void notifyUI();

    // Asks Slack in the background whether the workspace has the :spotify: emoji.
    void checkEmojiAsync();
    // The emoji to send with the next status.
    QString effectiveEmoji() const;
    // Whether sharing is allowed now as far as the work-hours window goes.
    bool inWorkHours() const;

  signals:
    // Posted on the main thread after each sync step and emoji check.
    void tickNotification();

  private:
    void clearWhileHidden(const QString& token);
    SpotifyState readSpotifyOnMainThread();
    bool failed(const QJsonObject& reply);
    void setNowPlayingLabel(const QString& label);
    void setLastError(const std::optional<QString>& error);
    void setSpotifyEmojiAvailable(std::optional<bool> available);

    Config config_;
    std::unique_ptr<platform::Clock> clock_;
    std::unique_ptr<platform::SpotifyBridge> spotify_;

    mutable QMutex stateMutex_;
    QString lastSetText_;
    QString nowPlayingLabel_ = QStringLiteral("…");
    std::optional<QString> lastError_;
    std::optional<bool> spotifyEmojiAvailable_;

    QThread syncThread_;
    QObject* syncContext_;  // lives on syncThread_; steps are queued to it
    std::atomic<bool> stepRequested_ = false;
    std::atomic<bool> syncStopped_ = false;
    QThreadPool emojiChecks_;
};
