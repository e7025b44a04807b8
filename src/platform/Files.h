#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
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

// An exclusive lock on the folder at `path` (flock on the folder itself), held while the object
// lives, among the programs that take it. The system lets go of it when the process ends, however
// it ends, so no lock outlives its holder.
class FolderLock {
  public:
    // Waits up to `wait` for the lock.
    FolderLock(const QString& path, std::chrono::milliseconds wait);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Whether the lock was had, on a folder that was still there once locked.
    bool held() const { return held_; }

  private:
    int fd_ = -1;
    bool held_ = false;
};

// Removes each folder directly in `folder` whose name starts with `prefix`, that belongs to
// this user and that nobody holds a FolderLock on: what programs that ended before tidying up
// left there.
void removeUnusedFolders(const QString& folder, const QString& prefix);

}  // namespace platform
