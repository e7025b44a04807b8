#pragma once

#include "FakeClock.h"
#include "RecordingDesktop.h"
#include "RecordingStarter.h"
#include "actions/Parts.h"
#include "ui/Prompts.h"

// Spotify installed but not running: sync steps find nothing to share.
class IdleSpotify final : public platform::SpotifyBridge {
  public:
    platform::PlayerReading read(const QString&) override {
        return platform::PlayerReading::notRunning();
    }
};

// The program's parts, made as the program makes them, on a settings file of the test's and
// with stand-ins for the outside world: what a view needs behind it. A copy installed by
// itself unless `distribution` says otherwise.
struct TestParts {
    explicit TestParts(const QString& settingsPath, quint16 oauthPort = 0,
                       std::unique_ptr<platform::RandomSource> random = nullptr,
                       Distribution distribution = Distribution::SelfManaged)
        : parts(world(settingsPath, oauthPort, std::move(random), distribution),
                [this] { ++quits; }),
          clock(dynamic_cast<FakeClock&>(*parts.world.clock)),
          desktop(dynamic_cast<RecordingDesktop&>(*parts.world.desktop)),
          loginItem(dynamic_cast<platform::XdgAutostart&>(*parts.world.loginItem)) {}

    Parts parts;
    FakeClock& clock;
    RecordingDesktop& desktop;
    platform::XdgAutostart& loginItem;
    Config& config = parts.config;
    AppState& state = parts.state;
    SlackClient& slack = parts.slack;
    SyncEngine& sync = parts.sync;
    SignIn& signIn = parts.signIn;
    UserActions& actions = parts.actions;
    Prompts prompts{desktop};
    int quits = 0;

  private:
    static Environment world(const QString& settingsPath, quint16 oauthPort,
                             std::unique_ptr<platform::RandomSource> random,
                             Distribution distribution) {
        Environment world;
        world.configPath = settingsPath;
        world.clock = std::make_unique<FakeClock>(QDateTime::currentDateTime());
        world.spotify = std::make_unique<IdleSpotify>();
        world.desktop = std::make_unique<RecordingDesktop>();
        world.loginItem = std::make_unique<platform::XdgAutostart>("/opt/Track glint/run");
        world.random = random ? std::move(random) : std::make_unique<platform::SystemRandom>();
        world.starter = std::make_unique<RecordingStarter>();
        world.oauthPort = oauthPort;
        world.updateKey =
            QStringLiteral("RWQf6LRCGA9i53mlYecO4IzT51TGPpvWucNSCh1CBM0QTaLn73Y7GFO3");
        world.distribution = distribution;
        return world;
    }
};
