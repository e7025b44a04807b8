#include "main/AppDelegate.h"

#include <QCoreApplication>
#include <chrono>

#include "maintenance/InstallCopy.h"
#include "slack/SlackApi.h"

AppDelegate::Environment AppDelegate::systemEnvironment() {
    Environment environment;
    environment.configPath = configPath();
    environment.clock = std::make_unique<platform::SystemClock>();
    environment.spotify = platform::makeSpotifyBridge();
    environment.desktop = std::make_unique<platform::QtDesktop>();
    environment.loginItem =
        std::make_unique<platform::XdgAutostart>(QCoreApplication::applicationFilePath());
    environment.random = std::make_unique<platform::SystemRandom>();
    return environment;
}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      config_(environment.configPath),
      clock_(std::move(environment.clock)),
      spotify_(std::move(environment.spotify)),
      desktop_(std::move(environment.desktop)),
      loginItem_(std::move(environment.loginItem)),
      random_(std::move(environment.random)),
      sync_(config_, state_, *clock_, *spotify_),
      signIn_(config_, state_, sync_, *desktop_, *loginItem_, *random_, environment.oauthPort),
      installer_(*desktop_, starter_, broker(), UPDATE_PUBLIC_KEY, defaultInstallFolder(),
                 [this] { quit(); }),
      updater_(state_, *desktop_,
               [this](const QString& version) { installer_.installUpdate(version); }),
      mover_(*desktop_, starter_, runningBundlePath(), defaultInstallFolder(), [this] { quit(); }) {
}

AppDelegate::~AppDelegate() = default;

namespace {

// Automatic update checks: the first soon after launch, then daily.
constexpr std::chrono::seconds FIRST_UPDATE_CHECK{20};
constexpr std::chrono::seconds UPDATE_CHECK_INTERVAL{86'400};
// A start this soon after the system came up is taken for a start at login.
constexpr double LOGIN_WINDOW_SECONDS = 180.0;

}  // namespace

bool AppDelegate::applicationDidFinishLaunching(const QStringList& arguments) {
    const bool moved = arguments.contains(QStringLiteral("--moved"));
    if (instance_.claim(moved) == platform::SingleInstance::Claim::HeldByAnother && !moved) {
        platform::SingleInstance::showRunningDashboard();
        return false;
    }
    connect(&instance_, &platform::SingleInstance::showDashboardRequested, this,
            &AppDelegate::openDashboard);
    connect(&instance_, &platform::SingleInstance::quitRequested, this, &AppDelegate::quit);
    // A moved copy has been started: this one leaves without a tray item or a word to Slack.
    if (mover_.offerMoveToApplications()) return false;

    state_.setLastSetText(config_.lastSetText());
    createStatusItem();
    sync_.start();
    updater_.scheduleChecks(FIRST_UPDATE_CHECK, UPDATE_CHECK_INTERVAL);
    sync_.tickAsync();
    sync_.checkEmojiAsync();
    // Without any tray the window is the only way in, so it shows even at login.
    if (!startedAtLogin() || !QSystemTrayIcon::isSystemTrayAvailable()) openDashboard();
    return true;
}

bool AppDelegate::startedAtLogin() const {
    return config_.slackToken() && platform::systemUptime() <= LOGIN_WINDOW_SECONDS;
}

void AppDelegate::createStatusItem() {
    StatusMenu::Actions actions;
    actions.openDashboard = [this] { openDashboard(); };
    actions.quit = [this] { quit(); };
    actions.checkForUpdate = [this] { updater_.checkForUpdateClicked(); };
    actions.updateNow = [this] { updater_.updateNowClicked(); };
    statusMenu_ = std::make_unique<StatusMenu>(config_, state_, sync_, signIn_, *loginItem_,
                                               *desktop_, std::move(actions));
    statusMenu_->show();
}

DashboardController& AppDelegate::dashboard() {
    if (!dashboard_) {
        dashboard_ = std::make_unique<DashboardController>(config_, state_, sync_, signIn_,
                                                           *loginItem_, *desktop_, [this] {
                                                               if (statusMenu_)
                                                                   statusMenu_->applyMenuMark();
                                                           });
    }
    return *dashboard_;
}

void AppDelegate::openDashboard() {
    QWidget* window = dashboard().window();
    window->show();
    window->raise();
    window->activateWindow();
    dashboard_->refresh();
}

void AppDelegate::quit() {
    // Queued, so a quit asked for before the event loop runs is not lost.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void AppDelegate::applicationWillTerminate() {
    sync_.stopSync();
    // Saves and notifications the last step handed to the main thread still happen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);

    const std::optional<QString> token = config_.slackToken();
    const QString ownText = state_.lastSetText();
    if (!token || ownText.isEmpty()) return;
    // The text stays remembered, so a status that could not be cleared now is recognised
    // and cleared after the next start.
    if (currentStatusText(*token) == ownText) clearStatus(*token);
}
