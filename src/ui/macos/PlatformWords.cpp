#include "ui/PlatformWords.h"

#include "state/Constants.h"

const PlatformWords& platformWords() {
    static const PlatformWords words{
        QStringLiteral("No Spotify setup needed — your track is read straight from the Spotify "
                       "app on this Mac. Slack will ask permission to update your status only."),
        QStringLiteral("Show in menu bar as:"),
        QStringLiteral("Pause or stop the music and your status clears within %1 seconds.")
            .arg(int(SYNC_SECONDS)),
        QStringLiteral("If your Mac is asleep or shut, the last song disappears from Slack by "
                       "itself within %1 minutes.")
            .arg(STATUS_TTL_SECONDS / 60),
        QStringLiteral("Move Trackglint to Applications?"),
        QStringLiteral("Trackglint is running from %1. It'll move itself to your Applications "
                       "folder — where apps belong — and carry on."),
        QStringLiteral("Move to Applications"),
        QStringLiteral("Drag Trackglint into Applications yourself, then reopen it. (%1)"),
    };
    return words;
}
