#pragma once

#include <QString>
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
