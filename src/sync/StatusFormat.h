#pragma once

#include <QString>
#include <optional>

struct SpotifyState;

// The status text a track makes in the user's own words.
//
// A format is text with fields in it: {title}, {artist} (every artist, joined) and {album}; any
// other text, braces included, shows as written. A field that is empty for a track takes with
// it the text that belongs to it alone:
// - a bracket pair right around it: "(" before and ")" after, or [ ], “ ”, ‘ ’, « » or " ";
// - the text between it and the field before it. That text joins two fields, so it shows only
//   when the field after it shows and some field before it does.
// The text before the first field and after the last always shows. So "{title} — {artist}
// ({album})" reads "Song — Band" without an album, and "Song (Album)" without an artist.

// `state`'s text in `format`. A format that shows no field for the track (every field in it
// empty, or no field in it at all) gives the text of DEFAULT_STATUS_FORMAT instead.
QString formatStatus(const QString& format, const SpotifyState& state);
// What is shared of `state`: its text in `format`, cut to the characters a status holds.
QString statusText(const QString& format, const SpotifyState& state);
// Why `format` cannot be used, or none when it can.
std::optional<QString> formatProblem(const QString& format);
