#include "actions/Parts.h"

#include <QCoreApplication>

#include "maintenance/InstallCopy.h"
#include "platform/Bundle.h"

Environment Environment::system() {
    Environment world;
    world.configPath = ::configPath();
    world.clock = std::make_unique<platform::SystemClock>();
    world.spotify = platform::makeSpotifyBridge();
    world.desktop = std::make_unique<platform::QtDesktop>();
    world.loginItem =
        std::make_unique<platform::XdgAutostart>(QCoreApplication::applicationFilePath());
    world.random = std::make_unique<platform::SystemRandom>();
    world.starter = std::make_unique<platform::DetachedStarter>();
    world.updateKey = UPDATE_PUBLIC_KEY;
    return world;
}

Parts::Parts(Environment environment, std::function<void()> quit)
    : world(std::move(environment)),
      config(world.configPath),
      slack(*world.clock),
      sync(config, state, slack, *world.clock, *world.spotify),
      signIn(config, state, slack, sync, *world.desktop, *world.loginItem, *world.random,
             *world.clock, world.oauthPort),
      installer(*world.starter, platform::runningUpdateHelper(), broker(), world.updateKey,
                defaultInstallFolder()),
      updater(state, world.updateKey),
      mover(*world.starter, runningBundlePath(), defaultInstallFolder(), quit),
      actions(config, state, sync, signIn, *world.loginItem, *world.desktop, updater, installer,
              mover) {}
