#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace platform {

// Replaces the file at `path` with `bytes` atomically and privately: the bytes go into a new
// file in the same folder, created with mode 0600 and synced to disk, which is then renamed
// over `path`. The file at `path` is therefore always either the old one or the complete new
// one, and never readable by others. When `path` is a symbolic link, the file it leads to is
// replaced and the link stays. Returns the reason on failure, leaving the old file in place.
std::optional<QString> writeFilePrivately(const QString& path, const QByteArray& bytes);

// Removes what saves to `path` that were cut short (by a kill, say) left behind: the
// temporary files of writeFilePrivately beside the file it writes to. They may hold a copy of
// the file's secrets.
void removeUnfinishedWrites(const QString& path);

// Takes every permission from group and others on the file at `path`, when it has any, so a
// file left readable by an older copy or a backup tool stops being so.
void keepPrivate(const QString& path);

// The text of `bytes`, a name as the file system holds it, when they are valid UTF-8; none
// otherwise.
std::optional<QString> strictUtf8(QByteArrayView bytes);

// Removes the folder at `path` with everything in it, going by the bytes of the names, so names
// that are not valid UTF-8 go too. Failures are ignored.
void removeTree(const QString& path);

}  // namespace platform
