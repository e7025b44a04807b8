#include "actions/Parts.h"

#include <QCoreApplication>

#include "maintenance/InstallCopy.h"
#include "platform/Bundle.h"

#ifndef TRACKGLINT_PACKAGED_COMMAND
#define TRACKGLINT_PACKAGED_COMMAND "/usr/bin/trackglint"
#endif
#ifndef TRACKGLINT_DISTRO_PACKAGE
#define TRACKGLINT_DISTRO_PACKAGE 0
#endif

const QString PACKAGED_COMMAND = QStringLiteral(TRACKGLINT_PACKAGED_COMMAND);
const Distribution BUILD_DISTRIBUTION =
    TRACKGLINT_DISTRO_PACKAGE ? Distribution::PackageManager : Distribution::SelfManaged;

Environment Environment::system(Distribution distribution) {
    Environment world;
    world.configPath = ::configPath();
    world.clock = std::make_unique<platform::SystemClock>();
    world.spotify = platform::makeSpotifyBridge();
    world.desktop = std::make_unique<platform::QtDesktop>();
    // The package's command stays put across upgrades; the path of the bundle behind it is
    // the package's own affair.
    world.loginItem = std::make_unique<platform::XdgAutostart>(
        distribution == Distribution::PackageManager ? PACKAGED_COMMAND
                                                     : QCoreApplication::applicationFilePath());
    world.random = std::make_unique<platform::SystemRandom>();
    world.starter = std::make_unique<platform::DetachedStarter>();
    world.updateKey = UPDATE_PUBLIC_KEY;
    world.distribution = distribution;
    return world;
}

Parts::Parts(Environment environment, std::function<void()> quit)
    : world(std::move(environment)),
      config(world.configPath),
      slack(*world.clock),
      sync(config, state, slack, *world.clock, *world.spotify),
      signIn(config, state, slack, sync, *world.desktop, *world.loginItem, *world.random,
             *world.clock, world.oauthPort),
      installer(*world.starter, platform::runningUpdateHelper(), broker(), defaultInstallFolder()),
      handOver(*world.starter, defaultInstallFolder(), runningBundlePath()),
      updater(state, world.updateKey, world.distribution),
      mover(*world.starter, runningBundlePath(), defaultInstallFolder(), world.distribution, quit),
      actions(config, state, sync, signIn, *world.loginItem, *world.desktop, updater, installer,
              mover) {}
