#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>

#include "main/AppState.h"
#include "platform/Desktop.h"

// Asks the vendor web service for the latest version, remembers a newer one in the app state
// and offers it to the user; accepting hands the version to the installer. Lives on the main
// thread.
class Updater : public QObject {
    Q_OBJECT

  public:
    // How long a check waits for the service before giving up silently.
    static constexpr std::chrono::seconds CHECK_TIMEOUT{30};

    // `install` receives the version the user accepted.
    Updater(AppState& state, platform::Desktop& desktop,
            std::function<void(const QString& version)> install, QObject* parent = nullptr);

    // Automatic checks: one `firstDelay` from now, then one every `interval`.
    void scheduleChecks(std::chrono::milliseconds firstDelay, std::chrono::milliseconds interval);
    // Sends one check and returns at once. An interactive check also says when the running
    // version is the latest; every failure is silent in both modes.
    void checkForUpdate(bool interactive);
    // Offers `version` in an alert; "Update Now" installs it.
    void offerUpdate(const QString& version);
    void checkForUpdateClicked() { checkForUpdate(true); }
    // Offers the remembered version again, if there is one.
    void updateNowClicked();

  private:
    void decide(const QString& remote, bool interactive);

    AppState& state_;
    platform::Desktop& desktop_;
    std::function<void(const QString&)> install_;
    QTimer daily_;
};
