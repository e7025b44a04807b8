#include "platform/SpotifyBridge.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/AppleScriptSpotify.h"
#ifndef Q_OS_MACOS
#include "platform/MprisSpotify.h"
#endif

namespace platform {

bool spotifyInstalled() {
#ifdef Q_OS_MACOS
    for (const QString& folder :
         {QStringLiteral("/Applications"), QDir::homePath() + "/Applications"}) {
        if (QFileInfo(folder + "/Spotify.app").isDir()) return true;
    }
    return false;
#else
    static const char* const entries[] = {"spotify.desktop", "com.spotify.Client.desktop",
                                          "spotify_spotify.desktop"};
    for (const char* entry : entries) {
        const QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                                     QString::fromLatin1(entry));
        if (!found.isEmpty()) return true;
    }
    return !QStandardPaths::findExecutable(QStringLiteral("spotify")).isEmpty();
#endif
}

std::unique_ptr<SpotifyBridge> makeSpotifyBridge() {
#ifdef Q_OS_MACOS
    return std::make_unique<AppleScriptSpotify>();
#else
    return std::make_unique<MprisSpotify>();
#endif
}

}  // namespace platform
