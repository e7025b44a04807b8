#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The artists the user keeps private: no track of theirs is shared. Names are the same when
// they are once trimmed, whatever their case.

// The first of a track's `artists` that `kept` holds, as the track names it; none when `kept`
// holds none of them.
std::optional<QString> privateArtistOf(const QStringList& artists, const QStringList& kept);
// `kept` with `artist` added at the end, trimmed, unless it holds that artist already.
QStringList withArtist(QStringList kept, const QString& artist);
// `kept` without `artist`.
QStringList withoutArtist(QStringList kept, const QString& artist);
