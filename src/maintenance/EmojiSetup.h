#pragma once

#include "platform/Desktop.h"
#include "settings/Config.h"

// Helps the user add :spotify: to the workspace: copies the bundle's logo to "spotify.png" in
// the Downloads folder (replacing an older copy), shows it in the file manager, and opens the
// workspace's custom-emoji page. Does nothing at all without the logo resource.
void addSpotifyEmoji(const Config& config, platform::Desktop& desktop);
