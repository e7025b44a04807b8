#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "actions/Parts.h"
#include "dashboard/DashboardController.h"
#include "dashboard/SlackAppWindow.h"
#include "menubar/StatusMenu.h"
#include "platform/SingleInstance.h"
#include "ui/Prompts.h"

// The composition root: creates the program's parts once, wires them together, starts them
// and runs the clean-up on the way out. It owns the parts and nothing else.
class AppDelegate : public QObject {
    Q_OBJECT

  public:
    explicit AppDelegate(Environment environment = Environment::system(),
                         QObject* parent = nullptr);
    ~AppDelegate() override;

    Config& config() { return parts_.config; }
    AppState& state() { return parts_.state; }

    // The launch sequence. Returns false when this copy is not to run: another copy already
    // runs and has been asked to show its dashboard, or this one has just moved itself into
    // place and started the moved copy. With "--moved" among `arguments`, this copy takes over
    // from the running one instead.
    bool applicationDidFinishLaunching(const QStringList& arguments = {});
    // The dashboard, created on first use.
    DashboardController& dashboard();
    // Brings the dashboard to the front and refreshes it.
    void openDashboard();
    // The window that asks for the user's own Slack app, created on first use.
    SlackAppWindow& slackAppWindow();
    // Asks the application to quit, from any point of the launch on; the clean-up below runs
    // on the way out.
    void quit();
    // Clears the program's own status on Slack, synchronously, unless a newer copy has taken
    // over and carries it on. Stops the sync engine first, so no step can put a status back
    // afterwards.
    void applicationWillTerminate();

  private:
    bool replaceHungCopy();
    void followHandOvers(platform::SingleInstance::Claim claim);
    bool moveIntoPlace();
    void askAboutUpdates();
    void helpSigningIn();
    void createStatusItem();
    bool startedAtLogin() const;

    Parts parts_;
    Prompts prompts_;
    platform::SingleInstance instance_;
    std::unique_ptr<StatusMenu> statusMenu_;
    std::unique_ptr<DashboardController> dashboard_;
    std::unique_ptr<SlackAppWindow> slackAppWindow_;
    bool quitRequested_ = false;
    // A newer copy has taken the one-copy name over: the status is its to keep.
    bool takenOver_ = false;
};
