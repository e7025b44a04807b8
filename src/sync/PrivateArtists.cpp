#include "sync/PrivateArtists.h"

#include <algorithm>

namespace {

bool sameArtist(const QString& one, const QString& other) {
    return one.trimmed().compare(other.trimmed(), Qt::CaseInsensitive) == 0;
}

bool holds(const QStringList& kept, const QString& artist) {
    return std::any_of(kept.cbegin(), kept.cend(),
                       [&](const QString& each) { return sameArtist(each, artist); });
}

}  // namespace

std::optional<QString> privateArtistOf(const QStringList& artists, const QStringList& kept) {
    for (const QString& artist : artists) {
        if (!artist.trimmed().isEmpty() && holds(kept, artist)) return artist;
    }
    return std::nullopt;
}

QStringList withArtist(QStringList kept, const QString& artist) {
    if (!artist.trimmed().isEmpty() && !holds(kept, artist)) kept += artist.trimmed();
    return kept;
}

QStringList withoutArtist(QStringList kept, const QString& artist) {
    kept.removeIf([&](const QString& each) { return sameArtist(each, artist); });
    return kept;
}
