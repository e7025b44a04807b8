#pragma once

#include <QString>

struct SpotifyState;

// The words a step shows for what the player reports, and for what a workspace shows, as its
// line says.

inline const QString SHARING = QStringLiteral("sharing");
inline const QString NOT_SHARING = QStringLiteral("not sharing");
inline const QString USERS_OWN = QStringLiteral("your own status");
inline const QString SIGNED_OUT = QStringLiteral("signed out");
inline const QString WAITING = QStringLiteral("Slack asked to wait");
inline const QString TROUBLE = QStringLiteral("trouble with Slack");

// The player's line: the track as `format` shares it, a podcast (never shared), or why nothing
// plays.
QString nowPlayingLine(const SpotifyState& state, const QString& format);
// The line of a track by an artist the user keeps private.
QString keptPrivateLine(const QString& artist);
// Why the player cannot be read, and what to do: the Spotify app is missing, or its answer
// made no sense (`reason`).
QString noSpotifyAppMessage();
QString unreadablePlayerMessage(const QString& reason);
