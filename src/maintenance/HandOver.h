#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

#include "platform/Files.h"
#include "platform/Starter.h"

// The hand-over of an update, from the copy that installed it to the new copy it started, kept
// on disk so that it outlives the old copy: a quit, a log-out or a kill in the middle of it
// leaves neither the new copy installed unchecked nor the old one hidden for good.
//
// The record is a file beside the installed copy, in the install folder: it names the copy set
// aside there and the deadline by which the new copy must have taken over. Beside the install,
// because it speaks of nothing else: it goes wherever the install folder goes, every copy finds
// it from the install folder it already knows, and it is written and renamed on the same file
// system as the copies it names. Whoever acts on it (the old copy finishing or undoing, a
// starting copy settling it) holds a lock on the install folder, so exactly one of them decides.
struct HandOverRecord {
    // Where the replaced copy was set aside; none when there was no copy to replace.
    std::optional<QString> aside;
    // By when the new copy must have taken over.
    QDateTime deadline;
};

// How long a copy waits for another to finish with the install folder's hand-over.
constexpr std::chrono::milliseconds HAND_OVER_LOCK_WAIT{5'000};

// Writes the record of a hand-over in `installFolder`, atomically. Returns the reason on failure.
std::optional<QString> recordHandOver(const QString& installFolder, const HandOverRecord& record);
// The hand-over under way in `installFolder`, if any.
std::optional<HandOverRecord> pendingHandOver(const QString& installFolder);

// The old copy's side, each under the install folder's lock.
enum class HandOverEnd {
    TakenOver,  // the new copy has taken over and finished the hand-over
    PutBack,    // the old copy is back in place
    Busy,       // another copy holds the lock: try again later
};
struct HandOverResult {
    HandOverEnd end;
    std::optional<QString> failure;  // why the old copy could not be put back
};
// The new copy has taken over: the copy set aside goes, and the record.
void finishHandOver(const QString& installFolder);
// The new copy did not take over: the copy set aside goes back in place of the installed copy,
// which goes, and so does the record. Nothing happens when the new copy has finished the
// hand-over already.
HandOverResult undoHandOver(const QString& installFolder, std::chrono::milliseconds wait);

// A starting copy's side: settles what a hand-over left in the install folder, around the
// claim of the one-copy name.
class HandOverAtStart {
  public:
    // `runningBundle`: the bundle this copy runs from, none for a bare build.
    HandOverAtStart(platform::Starter& starter, QString installFolder,
                    std::optional<QString> runningBundle);

    // Before the claim; takes the install folder's lock until claimed(). False when this copy is
    // to end now: its own executable is gone (deleted or replaced under it), or the deadline of
    // the hand-over to it has passed, so it has put the old copy back and started that instead.
    // Past the deadline, any other copy puts the old one back and carries on; with no old copy
    // set aside, the installed one stays.
    bool settle();
    // After the claim. When this copy runs (`runs`: it holds the one-copy name or there is no
    // bus), it finishes a hand-over to itself, and removes the working folders of updates whose
    // helper is gone. Lets go of the lock.
    void claimed(bool runs);

  private:
    bool isInstalledCopy() const;
    bool putBackOldCopy(const HandOverRecord& record);

    platform::Starter& starter_;
    const QString installFolder_;
    const std::optional<QString> runningBundle_;
    std::unique_ptr<platform::FolderLock> lock_;
    bool takingOver_ = false;
};
