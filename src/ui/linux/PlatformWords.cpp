#include "ui/PlatformWords.h"

#include "state/Constants.h"

// The player's signals start a step at once, so a pause leaves Slack within seconds; the
// installed copy lives in ~/Applications and is added to the desktop's applications menu.
const PlatformWords& platformWords() {
    static const PlatformWords words{
        QStringLiteral("No Spotify setup needed — your track is read straight from the Spotify "
                       "player on this computer. Slack will ask permission to update your status "
                       "only."),
        QStringLiteral("Show in the tray as:"),
        QStringLiteral("Pause or stop the music and your status clears within a few seconds."),
        QStringLiteral("If this computer is asleep or shut down, the last song disappears from "
                       "Slack by itself within %1 minutes.")
            .arg(STATUS_TTL_SECONDS / 60),
        QStringLiteral("Move Trackglint to ~/Applications?"),
        QStringLiteral("Trackglint is running from %1. It'll move itself to the Applications "
                       "folder in your home folder, add itself to your applications menu, and "
                       "carry on."),
        QStringLiteral("Move to ~/Applications"),
        QStringLiteral("Move Trackglint.app into ~/Applications yourself, then open it from "
                       "there. (%1)"),
    };
    return words;
}
