#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Replaces the file at `path` with `bytes` atomically and privately: the bytes go into a new
// file in the same folder, created with mode 0600 and synced to disk, which is then renamed
// over `path`. The file at `path` is therefore always either the old one or the complete new
// one, and never readable by others. Returns false (leaving the old file in place) on failure.
bool writeFilePrivately(const QString& path, const QByteArray& bytes);

// Takes every permission from group and others on the file at `path`, when it has any, so a
// file left readable by an older copy or a backup tool stops being so.
void keepPrivate(const QString& path);

}  // namespace platform
