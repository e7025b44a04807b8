#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>

#include "state/AppState.h"

// Asks the vendor web service for the latest version and remembers a newer one in the app
// state, announcing it with `updateFound` so the user can be offered it. Lives on the main
// thread.
class Updater : public QObject {
    Q_OBJECT

  public:
    // How long a check waits for the service before giving up silently.
    static constexpr std::chrono::seconds CHECK_TIMEOUT{30};

    explicit Updater(AppState& state, QObject* parent = nullptr);

    // Automatic checks: one `firstDelay` from now, then one every `interval`.
    void scheduleChecks(std::chrono::milliseconds firstDelay, std::chrono::milliseconds interval);
    // Sends one check and returns at once. An interactive check also announces `upToDate`
    // when the running version is the latest; every failure is silent in both modes.
    void checkForUpdate(bool interactive);
    // Announces the remembered newer version again, if there is one.
    void offerAgain();

  signals:
    // A newer version than the running one is on offer.
    void updateFound(const QString& version);
    // An interactive check found the running version to be the latest.
    void upToDate();

  private:
    void decide(const QString& remote, bool interactive);

    AppState& state_;
    QTimer daily_;
};
