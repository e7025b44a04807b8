#pragma once

#include <QString>

struct SpotifyState;

// The words a step shows for what the player reports.

// The player's line: the track as `format` shares it, a podcast (never shared), a player the
// user did not share, or why nothing plays.
QString nowPlayingLine(const SpotifyState& state, const QString& format);
// The line of a track by an artist the user keeps private.
QString keptPrivateLine(const QString& artist);
// Why the player cannot be read, and what to do: the Spotify app is missing, or its answer
// made no sense (`reason`).
QString noSpotifyAppMessage();
QString unreadablePlayerMessage(const QString& reason);
