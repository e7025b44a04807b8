#pragma once

#include <QString>

// Unpacks the zip archive at `archivePath` into `folder` (an existing folder, given by its
// canonical path). Only folders and regular files are unpacked, each strictly inside `folder`:
// an entry with an absolute name, a ".." component, a name that is not valid UTF-8 or longer
// than MAX_NAME_BYTES, a symbolic or hard link, or anything else makes the whole unpacking
// fail, as does a damaged archive. Parts of an archive that fail may already be in `folder`;
// nothing is ever written outside it. Permissions are the user's alone, whatever the archive
// says (0700 for folders and for files the archive marks as the owner's to run, 0600 for the
// rest), so everything unpacked can be read, checked and removed again. So that a small archive
// cannot fill the disk, unpacking also fails once the files would hold more than `maxBytes` in
// all.
inline constexpr qint64 MAX_UNPACKED_BYTES = qint64(1) << 30;
inline constexpr qsizetype MAX_NAME_BYTES = 1024;
bool unpackZip(const QString& archivePath, const QString& folder,
               qint64 maxBytes = MAX_UNPACKED_BYTES);
