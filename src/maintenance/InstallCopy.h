#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The folder the installed copy lives in: Applications in the user's home folder.
QString defaultInstallFolder();
// The installed copy in `installFolder`: its Trackglint.app.
QString installedBundle(const QString& installFolder);

// Makes a copy of the bundle at `source` the installed copy in `installFolder` (created when
// missing), replacing any copy there, and registers it with the desktop. The copy is made
// under a hidden name beside the installed one and then swapped in by renaming, so at every
// moment the installed path holds either the old copy or the complete new one: a failure leaves
// the old copy as it was. Returns the reason when it fails.
std::optional<QString> installCopy(const QString& source, const QString& installFolder);

// What an install left: where the copy it replaced was set aside, under a hidden name beside
// the installed one (none when there was no copy), or why it failed.
struct Replacement {
    std::optional<QString> aside;
    std::optional<QString> failure;
};
// The same, from the files of the bundle at `source` that `files` names (by their paths inside
// it) and nothing else, with fixed permissions: 0755 for folders and for the programs in the
// bundle's executable folder, 0644 for every other file. The copy it replaces is kept aside,
// to be put back should the new one not start.
Replacement installFiles(const QString& source, const QStringList& files,
                         const QString& installFolder);
// Puts the copy set aside at `aside` back in place of the installed copy in `installFolder`,
// which goes; with none set aside, the installed copy just goes. Returns the reason when it
// fails.
std::optional<QString> putBack(const std::optional<QString>& aside, const QString& installFolder);
