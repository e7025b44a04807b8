#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <optional>

#include "platform/Starter.h"

// The vendor's minisign public key (the base64 line) that every update must be signed with,
// fixed when the program is built.
extern const QString UPDATE_PUBLIC_KEY;

// Installs an accepted update: downloads the vendor's archive into a private working folder,
// unpacks it, proves the copy genuine (the vendor's signature over every file, the system's
// assessment of its executable, the offered version), makes it the installed copy, starts that
// copy with "--moved" and quits. Any failure is announced with `failed`; the running copy
// carries on. The working folder is removed either way.
//
// Lives on the main thread. Download, unpacking, checks and the copy into place run on a worker
// thread, one install at a time; when the object goes it stops a download under way and waits
// for the worker.
class Installer : public QObject {
    Q_OBJECT

  public:
    // `broker`: the vendor web service's base address, the archive being `broker`
    // + "/Trackglint.zip"; `updateKey`: the vendor's public key; `installFolder`: where the
    // installed copy lives (Trackglint.app in it); `quit` ends the running copy.
    Installer(platform::Starter& starter, QString broker, QString updateKey, QString installFolder,
              std::function<void()> quit, QObject* parent = nullptr);
    ~Installer() override;

    // Starts installing version `expecting`, the one offered; returns at once.
    void installUpdate(const QString& expecting);

  signals:
    // The update did not complete: what went wrong, and where to download by hand.
    void failed(const QString& explanation);

  private:
    std::optional<QString> fetchAndInstall(const QString& workFolder,
                                           const QString& expecting) const;
    void finish(const std::optional<QString>& failure);

    platform::Starter& starter_;
    const QString broker_;
    const QByteArray updateKey_;
    const QString installFolder_;
    const std::function<void()> quit_;
    std::atomic<bool> stopping_ = false;
    QThreadPool background_;
};
