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
// The same, from the files of the bundle at `source` that `files` names (by their paths inside
// it) and nothing else, with fixed permissions: 0755 for folders and for the programs in the
// bundle's executable folder, 0644 for every other file.
std::optional<QString> installFiles(const QString& source, const QStringList& files,
                                    const QString& installFolder);
