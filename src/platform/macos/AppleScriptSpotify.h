#pragma once

#include "platform/SpotifyBridge.h"

namespace platform {

// Asks Spotify through its AppleScript interface, by running the fixed script with
// osascript; the tool's path can be replaced for tests.
class AppleScriptSpotify final : public SpotifyBridge {
  public:
    explicit AppleScriptSpotify(QString toolPath = QStringLiteral("/usr/bin/osascript"));

    // Reads the app, the one player it lists, whatever `busName` says.
    PlayerReading read(const QString& busName) override;

    // The script sent to the app, exactly.
    static const QString& script();
    // The reading for the script's one-line reply.
    static PlayerReading readingFrom(const QString& reply);

  private:
    QString toolPath_;
};

}  // namespace platform
