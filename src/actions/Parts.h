#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "actions/UserActions.h"
#include "maintenance/Distribution.h"
#include "maintenance/HandOver.h"
#include "maintenance/Installer.h"
#include "maintenance/Mover.h"
#include "maintenance/Updater.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "platform/Random.h"
#include "platform/SpotifyBridge.h"
#include "platform/Starter.h"
#include "settings/Config.h"
#include "signin/SignIn.h"
#include "state/AppState.h"
#include "state/Constants.h"
#include "sync/SyncEngine.h"

// The command a distribution package puts on PATH for the program, fixed when it is built.
extern const QString PACKAGED_COMMAND;
// Who distributes this build: the package manager for a build made for a distribution package
// (TRACKGLINT_DISTRO_PACKAGE), otherwise the program itself.
extern const Distribution BUILD_DISTRIBUTION;

// The outside world the program's parts talk to; tests replace parts of it.
struct Environment {
    QString configPath;
    std::unique_ptr<platform::Clock> clock;
    std::unique_ptr<platform::SpotifyBridge> spotify;
    std::unique_ptr<platform::Desktop> desktop;
    std::unique_ptr<platform::LoginItem> loginItem;
    std::unique_ptr<platform::RandomSource> random;
    std::unique_ptr<platform::Starter> starter;
    quint16 oauthPort = OAUTH_PORT;
    // The key updates must be signed with; empty: updates are off.
    QString updateKey;
    // Who installed this copy and keeps it up to date.
    Distribution distribution = Distribution::SelfManaged;

    // The real world: the settings file in the home folder, the system clock, the platform's
    // Spotify bridge, desktop and login-item service, the system's random source, programs
    // started detached, the update key the program was built with, and `distribution`, by
    // default the one the program was built for. A copy the package manager installed starts
    // at login by PACKAGED_COMMAND, any other by its own executable.
    static Environment system(Distribution distribution = BUILD_DISTRIBUTION);
};

// The program's parts below its views, made once and wired together: the settings, the display
// state, the sync engine, sign-in, the maintenance parts and the user's actions on them. The
// program and the tests make them the same way. `quit` ends the program.
class Parts {
  public:
    Parts(Environment world, std::function<void()> quit);

    Environment world;
    Config config;
    AppState state;
    SlackClient slack;
    SyncEngine sync;
    SignIn signIn;
    Installer installer;
    HandOverAtStart handOver;
    Updater updater;
    Mover mover;
    UserActions actions;
};
