#pragma once

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks Spotify through its AppleScript interface, by running the fixed script with
// osascript. Used on macOS; the tool's path can be replaced for tests.
class AppleScriptSpotify final : public SpotifyBridge {
  public:
    explicit AppleScriptSpotify(QString toolPath = QStringLiteral("/usr/bin/osascript"));

    bool installed() const override;
    PlayerReply ask() override;

    // The script sent to the app, exactly.
    static const QString& script();

  private:
    QString toolPath_;
};

}  // namespace platform
