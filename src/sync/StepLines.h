#pragma once

#include <QString>

struct SpotifyState;

// The words a step shows for what the player reports.

// The player's line: the track, a podcast (never shared), a player the user did not share, or
// why nothing plays.
QString nowPlayingLine(const SpotifyState& state);
// Why the player cannot be read, and what to do: the Spotify app is missing, or its answer
// made no sense (`reason`).
QString noSpotifyAppMessage();
QString unreadablePlayerMessage(const QString& reason);
