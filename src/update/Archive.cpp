#include "update/Archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <QFile>
#include <memory>

#include "platform/Files.h"

namespace {

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

constexpr size_t BLOCK_BYTES = 64 * 1024;

// The entry names a folder or a regular file by a relative path that stays where it starts,
// in UTF-8 and no longer than the limit.
bool acceptable(archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    if (name == nullptr || *name == '\0' || *name == '/') return false;
    const QByteArrayView path(name);
    if (path.size() > MAX_NAME_BYTES || !platform::strictUtf8(path)) return false;
    if (QByteArray(name).split('/').contains("..")) return false;
    if (archive_entry_hardlink(entry) != nullptr || archive_entry_symlink(entry) != nullptr) {
        return false;
    }
    const mode_t type = archive_entry_filetype(entry);
    return type == AE_IFDIR || type == AE_IFREG;
}

// The user's alone, whatever the archive says: folders and programs the user may read, change
// and run, other files the user may read and change.
mode_t fixedPermissions(archive_entry* entry) {
    const bool runnable = (archive_entry_perm(entry) & S_IXUSR) != 0;
    return archive_entry_filetype(entry) == AE_IFDIR || runnable ? 0700 : 0600;
}

// Copies the entry's data, taking what it writes from `budget`; fails when the budget runs out.
bool copyData(archive* reader, archive* writer, qint64& budget) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) return true;
        if (status != ARCHIVE_OK || qint64(size) > budget) return false;
        budget -= qint64(size);
        if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) return false;
    }
}

// Names the entry by its place inside `folder` and writes it there.
bool extract(archive* reader, archive* writer, archive_entry* entry, const QByteArray& folder,
             qint64& budget) {
    // A size the entry declares beyond the budget fails before anything of it is written.
    if (!acceptable(entry) ||
        (archive_entry_size_is_set(entry) && archive_entry_size(entry) > budget))
        return false;
    archive_entry_copy_pathname(entry, (folder + '/' + archive_entry_pathname(entry)).constData());
    archive_entry_set_perm(entry, fixedPermissions(entry));
    return archive_write_header(writer, entry) == ARCHIVE_OK && copyData(reader, writer, budget) &&
           archive_write_finish_entry(writer) == ARCHIVE_OK;
}

}  // namespace

bool unpackZip(const QString& archivePath, const QString& folder, qint64 maxBytes) {
    const Reader reader(archive_read_new(), archive_read_free);
    const Writer writer(archive_write_disk_new(), archive_write_free);
    archive_read_support_format_zip(reader.get());
    // Entries are named by absolute paths inside `folder`, so the check that an archive's own
    // names are relative happens above, in acceptable(), rather than through
    // ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS; changing the working folder instead would affect
    // every thread of the program.
    archive_write_disk_set_options(
        writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(),
                                   BLOCK_BYTES) != ARCHIVE_OK) {
        return false;
    }
    const QByteArray base = QFile::encodeName(folder);
    archive_entry* entry = nullptr;
    qint64 budget = maxBytes;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) return archive_write_close(writer.get()) == ARCHIVE_OK;
        if (status != ARCHIVE_OK || !extract(reader.get(), writer.get(), entry, base, budget)) {
            return false;
        }
    }
}
