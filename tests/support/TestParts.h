#pragma once

#include "FakeClock.h"
#include "RecordingDesktop.h"
#include "platform/Random.h"
#include "signin/SignIn.h"
#include "sync/SyncEngine.h"

// Spotify installed but not running: sync steps find nothing to share.
class IdleSpotify final : public platform::SpotifyBridge {
  public:
    platform::PlayerReading read() override { return platform::PlayerReading::notRunning(); }
};

// The program's parts on a settings file of the test's, with stand-ins for the outside world:
// what a view needs behind it.
struct TestParts {
    explicit TestParts(const QString& settingsPath, quint16 oauthPort = 0,
                       platform::RandomSource* otherRandom = nullptr)
        : config(settingsPath),
          sync(config, state, clock, spotify),
          signIn(config, state, sync, desktop, loginItem, otherRandom ? *otherRandom : random,
                 oauthPort) {
        state.setLastSetText(config.lastSetText());
    }

    FakeClock clock{QDateTime::currentDateTime()};
    IdleSpotify spotify;
    RecordingDesktop desktop;
    platform::SystemRandom random;
    platform::XdgAutostart loginItem{QStringLiteral("/opt/Track glint/run")};
    Config config;
    AppState state;
    SyncEngine sync;
    SignIn signIn;
};
