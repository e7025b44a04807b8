#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "platform/SpotifyBridge.h"

// Which players the user shares from, by the name each is chosen by (see choiceOf): only the
// choices that differ from the default, which shares Spotify's players and no other.
using PlayerChoices = QHash<QString, bool>;

// A player as the user chooses it: one for all its instances.
struct SharedPlayer {
    QString choice;  // see choiceOf
    QString identity;
    bool shared = false;
    bool sharedByDefault = false;

    bool operator==(const SharedPlayer&) const = default;
};

// The name a player is chosen by: its bus name without an instance suffix, so
// "org.mpris.MediaPlayer2.mpv.instance1234" is chosen as "org.mpris.MediaPlayer2.mpv", as is
// every other copy of mpv.
QString choiceOf(const QString& busName);
// Whether `player` is shared: as the user chose, else when it plays from Spotify.
bool isShared(const platform::PlayerInfo& player, const PlayerChoices& choices);
// The players to choose from, one for each choice: Spotify's first, then the others by name.
QList<SharedPlayer> sharedPlayers(const QList<platform::PlayerInfo>& running,
                                  const PlayerChoices& choices);
// `choices` with `player` shared or not; a choice that is the player's default is not kept.
PlayerChoices withChoice(PlayerChoices choices, const SharedPlayer& player, bool shared);
// The players in the order they are read: the one whose item or playback changed last first,
// then those with no change seen, by their rank.
QList<platform::PlayerInfo> readingOrder(QList<platform::PlayerInfo> players);
