#pragma once

#include <QJsonObject>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <memory>
#include <optional>

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "platform/Random.h"
#include "platform/SpotifyBridge.h"
#include "settings/Config.h"
#include "signin/OAuthListener.h"

struct SpotifyState;

// The one object that owns the program's run-time state: the settings, the sync engine, the
// sign-in and the display state that the menu and the dashboard show.
//
// Lives on the main thread. Sync steps run one at a time on a worker thread of their own;
// emoji checks, the token exchange and the clear of a disconnect run on a small pool that the
// delegate waits for when it goes. The display state is guarded and may be read anywhere.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    // The outside world the delegate talks to; tests replace parts of it.
    struct Environment {
        QString configPath;
        std::unique_ptr<platform::Clock> clock;
        std::unique_ptr<platform::SpotifyBridge> spotify;
        std::unique_ptr<platform::Desktop> desktop;
        std::unique_ptr<platform::LoginItem> loginItem;
        std::unique_ptr<platform::RandomSource> random;
        quint16 oauthPort = OAUTH_PORT;
    };
    // The real world: the settings file in the home folder, the system clock, the platform's
    // Spotify bridge, desktop and login-item service, and the system's random source.
    static Environment systemEnvironment();

    explicit AppDelegate(Environment environment = systemEnvironment(), QObject* parent = nullptr);
    ~AppDelegate() override;

    Config& config() { return config_; }
    platform::LoginItem& loginItem() { return *loginItem_; }

    // Display state.
    QString lastSetText() const;
    QString nowPlayingLabel() const;
    std::optional<QString> lastError() const;
    std::optional<bool> spotifyEmojiAvailable() const;

    // Process start and quit.
    // Takes the last status text from the settings, where an earlier run left it.
    void restoreLastSetText();
    // Starts the sync engine: restores the last status text, starts the timer, runs the
    // first step and the emoji check.
    void startSync();
    // Asks the application to quit; the clean-up below runs on the way out.
    void quit();
    // Clears the program's own status on Slack, synchronously. Stops the sync engine first,
    // so no step can put a status back afterwards.
    void applicationWillTerminate();

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

    // Sign-in, main thread only.
    // Starts a sign-in: arms the loopback listener and a deadline, opens Slack's page.
    void signIn();
    // Ends the sign-in with what the browser brought back.
    void finishSignIn(const std::optional<QString>& code, const std::optional<QString>& nonce,
                      const std::optional<QString>& error);
    // What the sign-in deadline does: the attempt is silently dropped.
    void signInDeadlinePassed();
    const std::optional<QString>& pendingNonce() const { return pendingNonce_; }
    const std::optional<QString>& pendingVerifier() const { return pendingVerifier_; }
    const QTimer& signInDeadline() const { return signInDeadline_; }
    // After a confirmation, clears the program's status and forgets every setting.
    void disconnect();
    // Turns launch at login on or off.
    void toggleLoginItem();

  signals:
    // Posted on the main thread after each sync step and emoji check, and after a sign-in.
    void tickNotification();

  private:
    void clearWhileHidden(const QString& token);
    SpotifyState readSpotifyOnMainThread();
    bool failed(const QJsonObject& reply);
    void exchangeCode(const QString& code, const QString& verifier);
    void storeAccount(const QString& token, const QJsonObject& account);
    void setLastSetText(const QString& text);
    void setNowPlayingLabel(const QString& label);
    void setLastError(const std::optional<QString>& error);
    void setSpotifyEmojiAvailable(std::optional<bool> available);

    Config config_;
    std::unique_ptr<platform::Clock> clock_;
    std::unique_ptr<platform::SpotifyBridge> spotify_;
    std::unique_ptr<platform::Desktop> desktop_;
    std::unique_ptr<platform::LoginItem> loginItem_;
    std::unique_ptr<platform::RandomSource> random_;

    mutable QMutex stateMutex_;
    QString lastSetText_;
    QString nowPlayingLabel_ = QStringLiteral("…");
    std::optional<QString> lastError_;
    std::optional<bool> spotifyEmojiAvailable_;

    QTimer timer_;
    QThread syncThread_;
    QObject* syncContext_;  // lives on syncThread_; steps are queued to it
    std::atomic<bool> stepRequested_ = false;
    std::atomic<bool> syncStopped_ = false;
    QThreadPool background_;

    const quint16 oauthPort_;
    OAuthListener oauth_;
    QTimer signInDeadline_;
    std::optional<QString> pendingNonce_;
    std::optional<QString> pendingVerifier_;
};
