#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

#include "platform/Files.h"
#include "platform/HelperProcess.h"
#include "platform/Starter.h"

// The vendor's minisign public key (the base64 line) that every update must be signed with,
// fixed when the program is built.
extern const QString UPDATE_PUBLIC_KEY;

// How long the new copy has to take over the one-copy name before the old copy is put back.
struct InstallLimits {
    std::chrono::milliseconds handOver{15'000};
};

// Installs an accepted update: has the update helper download the vendor's archive into a
// private working folder, unpack it, prove the copy genuine (the vendor's signature over every
// file, the system's assessment of its programs, the offered version) and make it the installed
// copy, keeping the old copy aside; then starts the new copy with "--moved". The new copy takes
// the one-copy name over, which ends this one (see handedOver); should it not do so within the
// limit, the old copy is put back and this one carries on. The hand-over is recorded on disk
// (see HandOver.h), so that the next start settles it should this copy end first. Any failure
// is announced with `failed`, and the running copy carries on. The working folder is removed
// either way.
//
// Lives on the main thread; the helper runs in a process of its own, one install at a time.
// When the object goes, a helper still running is killed and a hand-over under way is
// abandoned.
class Installer : public QObject {
    Q_OBJECT

  public:
    // `helper`: the update helper program; `broker`: the vendor web service's base address,
    // the archive being `broker` + "/Trackglint.zip" (the helper checks it with the key built
    // into it, the build's UPDATE_PUBLIC_KEY);
    // `installFolder`: where the installed copy lives (Trackglint.app in it).
    Installer(platform::Starter& starter, const QString& helper, QString broker,
              QString installFolder, InstallLimits limits = {}, QObject* parent = nullptr);
    ~Installer() override;

    // Starts installing version `expecting`, the one offered, unless an install is under way;
    // returns at once.
    void installUpdate(const QString& expecting);
    // The new copy has taken the one-copy name over: the old copy set aside goes, and this copy
    // is about to quit. Nothing happens unless a new copy is starting.
    void handedOver();
    // This copy is quitting: a hand-over under way is undone now, the old copy put back, as no
    // copy will be left to wait for the new one (one that cannot be undone now stays on disk for
    // the next start). True when the new copy has taken over after all.
    bool abandonHandOver();

  signals:
    // The new copy is in place and has been started; it has yet to take over.
    void newCopyStarted();
    // The update did not complete: what went wrong, and where to download by hand.
    void failed(const QString& explanation);

  private:
    void helperEnded(int status, const QByteArray& output);
    void putBackOldCopy();
    void fail(const QString& reason);

    platform::Starter& starter_;
    platform::HelperProcess helper_;
    const QString broker_;
    const QString installFolder_;
    const std::chrono::milliseconds handOverLimit_;
    QString workFolder_;
    // Held while the helper works in the working folder, so no sweep takes it away.
    std::unique_ptr<platform::FolderLock> workLock_;
    // While the new copy starts: the wait for it to take over.
    QTimer handOver_;
};

// Removes the working folders that installs left in the temporary folder when they were cut
// short with their program (a kill, a power cut): those no helper works in any more.
void removeLeftoverWorkFolders();
