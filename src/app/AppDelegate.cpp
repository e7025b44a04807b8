#include "app/AppDelegate.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <chrono>

#include "platform/Clock.h"

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      parts_(std::move(environment), [this] { quit(); }),
      prompts_(*parts_.world.desktop) {}

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
    // What an update's hand-over left is settled first, and a copy whose files are gone, or
    // that has given way to the copy it replaced, ends here.
    if (!parts_.handOver.settle()) return false;
    const platform::SingleInstance::Claim claim = instance_.claim(moved);
    parts_.handOver.claimed(claim != platform::SingleInstance::Claim::HeldByAnother);
    if (claim == platform::SingleInstance::Claim::HeldByAnother && !moved && !replaceHungCopy()) {
        return false;
    }
    connect(&instance_, &platform::SingleInstance::showDashboardRequested, this,
            &AppDelegate::openDashboard);
    connect(&instance_, &platform::SingleInstance::quitRequested, this, &AppDelegate::quit);
    followHandOvers(claim);
    // A moved copy has been started: this one leaves without a tray item or a word to Slack.
    if (moveIntoPlace()) return false;
    // Asked to quit while the move was offered: the quit comes again for the main loop, which
    // then runs the clean-up.
    if (quitRequested_) {
        quit();
        return true;
    }

    askAboutUpdates();
    helpSigningIn();
    createStatusItem();
    parts_.sync.start();
    parts_.updater.scheduleChecks(FIRST_UPDATE_CHECK, UPDATE_CHECK_INTERVAL);
    parts_.sync.tickAsync();
    parts_.sync.checkEmojiAtLaunch();
    // Without any tray the window is the only way in, so it shows even at login.
    if (!startedAtLogin() || !QSystemTrayIcon::isSystemTrayAvailable()) openDashboard();
    return true;
}

// Another copy holds the name: it shows its dashboard, and this one ends. One that does not
// answer is hung (or no copy of this program): the user may end it, and this one runs instead.
// True when this copy is to run.
bool AppDelegate::replaceHungCopy() {
    using platform::SingleInstance;
    if (SingleInstance::showRunningDashboard() || !prompts_.offerToEndHungCopy()) return false;
    if (!SingleInstance::endHolder() || instance_.claim(false) != SingleInstance::Claim::Owned) {
        prompts_.sayHungCopyRemains();
        return false;
    }
    return true;
}

// A newer copy that takes the name over ends this one, and completes an update that started it.
// Without a session bus no hand-over can be seen: a started update counts as complete at once,
// since the new copy runs on its own anyway.
void AppDelegate::followHandOvers(platform::SingleInstance::Claim claim) {
    const auto handOver = [this] {
        parts_.installer.handedOver();
        takenOver_ = true;
        quit();
    };
    connect(&instance_, &platform::SingleInstance::replaced, this, handOver);
    if (claim == platform::SingleInstance::Claim::NoBus) {
        connect(&parts_.installer, &Installer::newCopyStarted, this, handOver);
    }
}

// Offers to move a copy that runs from elsewhere into the install folder. True when the moved
// copy has taken over.
bool AppDelegate::moveIntoPlace() {
    Mover& mover = parts_.mover;
    if (!mover.offersMove() || !prompts_.offerMove(mover.runningFolderName())) return false;
    const Mover::Result result = parts_.actions.moveToApplications();
    if (result.failure) prompts_.sayMoveFailed(*result.failure);
    return result.handedOver;
}

// The update conversation: a newer version is offered, and an accepted one installed.
void AppDelegate::askAboutUpdates() {
    connect(&parts_.updater, &Updater::updateFound, this, [this](const QString& version) {
        if (prompts_.offerUpdate(version)) parts_.actions.installUpdate(version);
    });
    connect(&parts_.updater, &Updater::upToDate, this, [this] { prompts_.sayUpToDate(); });
    connect(&parts_.updater, &Updater::checkFailed, this, [this] { prompts_.sayCheckFailed(); });
    connect(&parts_.installer, &Installer::failed, this,
            [this](const QString& explanation) { prompts_.sayUpdateFailed(explanation); });
}

// Sign-in without a browser: the address to open by hand. Without a Slack app of the build's
// own: the user's, asked for first.
void AppDelegate::helpSigningIn() {
    connect(&parts_.signIn, &SignIn::browserUnavailable, this,
            [this](const QUrl& page) { prompts_.sayOpenByHand(page); });
    connect(&parts_.actions, &UserActions::slackAppNeeded, this,
            [this](const QString& clientId) { slackAppWindow().ask(clientId); });
}

SlackAppWindow& AppDelegate::slackAppWindow() {
    if (!slackAppWindow_) slackAppWindow_ = std::make_unique<SlackAppWindow>(parts_.actions);
    return *slackAppWindow_;
}

bool AppDelegate::startedAtLogin() const {
    return parts_.config.signedIn() && platform::systemUptime() <= LOGIN_WINDOW_SECONDS;
}

void AppDelegate::createStatusItem() {
    StatusMenu::ProgramActions program;
    program.openDashboard = [this] { openDashboard(); };
    program.quit = [this] { quit(); };
    statusMenu_ = std::make_unique<StatusMenu>(parts_.config, parts_.state, parts_.actions,
                                               prompts_, *parts_.world.loginItem, program);
    statusMenu_->show();
}

DashboardController& AppDelegate::dashboard() {
    if (!dashboard_) {
        dashboard_ = std::make_unique<DashboardController>(
            parts_.config, parts_.state, parts_.actions, prompts_, *parts_.world.loginItem);
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
    quitRequested_ = true;
    // An alert of the launch sequence runs before the main loop, where a quit would be lost:
    // it is closed (as Escape would), and the launch then stops.
    if (QWidget* alert = QApplication::activeModalWidget()) alert->close();
    // Queued, so a quit asked for before the event loop runs is not lost.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
}

void AppDelegate::applicationWillTerminate() {
    parts_.sync.stopSync();
    // Saves and notifications the last step handed to the main thread still happen.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    // A quit in the middle of an update's hand-over undoes it, unless the new copy has just
    // taken over. The copy that took over reads the status as its own and keeps it: cleared
    // here, it would blank once this clear landed after that read.
    if (parts_.installer.abandonHandOver()) takenOver_ = true;
    if (!takenOver_) parts_.sync.clearEverywhere();
}
