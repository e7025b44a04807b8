#pragma once

#include <QString>

namespace platform {

// Unpacks the zip archive at `archivePath` into `folder` (an existing folder, given by its
// canonical path). Only folders and regular files are unpacked, each strictly inside `folder`:
// an entry with an absolute name, a ".." component, a symbolic or hard link, or anything else
// makes the whole unpacking fail, as does a damaged archive. Parts of an archive that fail may
// already be in `folder`; nothing is ever written outside it. Set-user-ID and similar bits are
// not restored.
bool unpackZip(const QString& archivePath, const QString& folder);

}  // namespace platform
