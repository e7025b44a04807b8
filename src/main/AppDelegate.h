#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <memory>

#include "dashboard/DashboardController.h"
#include "main/AppState.h"
#include "main/Constants.h"
#include "maintenance/Installer.h"
#include "maintenance/Mover.h"
#include "maintenance/Updater.h"
#include "menubar/StatusMenu.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "platform/Random.h"
#include "platform/SingleInstance.h"
#include "platform/SpotifyBridge.h"
#include "platform/Starter.h"
#include "settings/Config.h"
#include "signin/SignIn.h"
#include "sync/SyncEngine.h"

// The composition root: creates the program's parts once, wires them together, starts them
// and runs the clean-up on the way out. It owns the parts and nothing else.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    // The outside world the parts talk to; tests replace parts of it.
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
    AppState& state() { return state_; }
    SyncEngine& sync() { return sync_; }
    SignIn& signIn() { return signIn_; }

    // The launch sequence. Returns false when this copy is not to run: another copy already
    // runs and has been asked to show its dashboard, or this one has just moved itself into
    // place and started the moved copy. With "--moved" among `arguments`, this copy takes over
    // from the running one instead.
    bool applicationDidFinishLaunching(const QStringList& arguments = {});
    // The dashboard, created on first use.
    DashboardController& dashboard();
    // Brings the dashboard to the front and refreshes it.
    void openDashboard();
    // Asks the application to quit, from any point of the launch on; the clean-up below runs
    // on the way out.
    void quit();
    // Clears the program's own status on Slack, synchronously. Stops the sync engine first,
    // so no step can put a status back afterwards.
    void applicationWillTerminate();

  private:
    void createStatusItem();
    bool startedAtLogin() const;

    Config config_;
    AppState state_;
    std::unique_ptr<platform::Clock> clock_;
    std::unique_ptr<platform::SpotifyBridge> spotify_;
    std::unique_ptr<platform::Desktop> desktop_;
    std::unique_ptr<platform::LoginItem> loginItem_;
    std::unique_ptr<platform::RandomSource> random_;
    SyncEngine sync_;
    SignIn signIn_;
    platform::DetachedStarter starter_;
    Installer installer_;
    Updater updater_;
    Mover mover_;
    platform::SingleInstance instance_;
    std::unique_ptr<StatusMenu> statusMenu_;
    std::unique_ptr<DashboardController> dashboard_;
};
