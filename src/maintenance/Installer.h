#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "platform/HelperProcess.h"
#include "platform/Http.h"
#include "platform/Starter.h"

// The vendor's minisign public key (the base64 line) that every update must be signed with,
// fixed when the program is built.
extern const QString UPDATE_PUBLIC_KEY;

// Installs an accepted update: has the update helper download the vendor's archive into a
// private working folder, unpack it, prove the copy genuine (the vendor's signature over every
// file, the system's assessment of its program, the offered version) and make it the installed
// copy; then starts that copy with "--moved" and quits. Any failure is announced with
// `failed`; the running copy carries on. The working folder is removed either way.
//
// Lives on the main thread; the helper runs in a process of its own, one install at a time.
// When the object goes, a helper still running is killed.
class Installer : public QObject {
    Q_OBJECT

  public:
    // `helper`: the update helper program; `broker`: the vendor web service's base address,
    // the archive being `broker` + "/Trackglint.zip"; `updateKey`: the vendor's public key;
    // `installFolder`: where the installed copy lives (Trackglint.app in it); `quit` ends the
    // running copy.
    // `limits` bound the download.
    Installer(platform::Starter& starter, const QString& helper, QString broker, QString updateKey,
              QString installFolder, std::function<void()> quit,
              platform::DownloadLimits limits = {}, QObject* parent = nullptr);
    ~Installer() override;

    // Starts installing version `expecting`, the one offered, unless an install is under way;
    // returns at once.
    void installUpdate(const QString& expecting);

  signals:
    // The update did not complete: what went wrong, and where to download by hand.
    void failed(const QString& explanation);

  private:
    void helperEnded(int status, const QByteArray& output);
    void fail(const QString& reason);

    platform::Starter& starter_;
    platform::HelperProcess helper_;
    const QString broker_;
    const QByteArray updateKey_;
    const QString installFolder_;
    const std::function<void()> quit_;
    const platform::DownloadLimits limits_;
    QString workFolder_;
};
