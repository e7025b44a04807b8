#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

#include "maintenance/Distribution.h"
#include "state/AppState.h"

// Asks the vendor web service for the latest version and remembers a newer one in the app
// state, announcing it with `updateFound` so the user can be offered it. A build without the
// vendor's update key could never install an update, and a copy the package manager installed
// is updated by it: neither checks nor offers one. Lives on the main thread.
class Updater : public QObject {
    Q_OBJECT

  public:
    // How long an automatic check waits for the service's whole reply before giving up
    // silently, and how long one the user asked for waits before saying it could not check:
    // in all, however steadily a slow reply trickles in.
    static constexpr std::chrono::seconds CHECK_TIMEOUT{30};
    static constexpr std::chrono::seconds ASKED_CHECK_TIMEOUT{10};

    // `updateKey`: the key updates are signed with; empty: updates are off.
    Updater(AppState& state, QString updateKey,
            Distribution distribution = Distribution::SelfManaged, QObject* parent = nullptr);

    // Whether this copy checks for updates at all.
    bool enabled() const {
        return !updateKey_.isEmpty() && distribution_ == Distribution::SelfManaged;
    }
    // Whether updates come from the package manager instead.
    bool updatesFromPackageManager() const { return distribution_ == Distribution::PackageManager; }

    // Automatic checks: one `firstDelay` from now, then one every `interval`.
    void scheduleChecks(std::chrono::milliseconds firstDelay, std::chrono::milliseconds interval);
    // Sends one check and returns at once. An interactive check also announces `upToDate`
    // when the running version is the latest, and `checkFailed` when the service gave no
    // usable answer in time; an automatic one is silent about both.
    void checkForUpdate(bool interactive);
    // Announces the remembered newer version again, if there is one.
    void offerAgain();

  signals:
    // A newer version than the running one is on offer.
    void updateFound(const QString& version);
    // An interactive check found the running version to be the latest.
    void upToDate();
    // An interactive check could not learn the latest version.
    void checkFailed();

  private:
    void decide(const QString& remote, bool interactive);

    AppState& state_;
    const QString updateKey_;
    const Distribution distribution_;
    QTimer daily_;
};
