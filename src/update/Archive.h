#pragma once

#include <QString>

// Unpacks the zip archive at `archivePath` into `folder` (an existing folder, given by its
// canonical path). Only folders and regular files are unpacked, each strictly inside `folder`:
// an entry with an absolute name, a ".." component, a symbolic or hard link, or anything else
// makes the whole unpacking fail, as does a damaged archive. Parts of an archive that fail may
// already be in `folder`; nothing is ever written outside it. Set-user-ID and similar bits are
// not restored. So that a small archive cannot fill the disk, unpacking also fails once the
// files would hold more than `maxBytes` in all.
inline constexpr qint64 MAX_UNPACKED_BYTES = qint64(1) << 30;
bool unpackZip(const QString& archivePath, const QString& folder,
               qint64 maxBytes = MAX_UNPACKED_BYTES);
