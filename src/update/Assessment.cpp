#include "update/Assessment.h"

#include <elf.h>
#include <limits.h>
#include <link.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>
#include <optional>

namespace {

// Up to and including e_machine, which sits at the same place in 32- and 64-bit headers.
constexpr qsizetype HEAD_BYTES = 20;
constexpr int LOADER_WAIT_MS = 10'000;

QByteArray elfHead(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(HEAD_BYTES) : QByteArray();
}

bool elfForThisMachine(const QString& path) {
    const QByteArray head = elfHead(path);
    const QByteArray own = elfHead(QStringLiteral("/proc/self/exe"));
    if (head.size() != HEAD_BYTES || !head.startsWith(ELFMAG)) return false;
    // The same class and byte order as ours, so e_type reads in our own order.
    const quint16 type = qFromUnaligned<quint16>(head.constData() + 16);
    return head.mid(EI_CLASS, 2) == own.mid(EI_CLASS, 2) && head.mid(18, 2) == own.mid(18, 2) &&
           (type == ET_EXEC || type == ET_DYN);
}

// The first object listed is the running program; its PT_INTERP names the dynamic loader.
int readInterpreter(dl_phdr_info* info, size_t, void* loader) {
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_INTERP) continue;
        *static_cast<QString*>(loader) =
            QFile::decodeName(reinterpret_cast<const char*>(info->dlpi_addr + header.p_vaddr));
    }
    return 1;
}

QString dynamicLoader() {
    QString loader;
    dl_iterate_phdr(readInterpreter, &loader);
    return loader.isEmpty() ? QStringLiteral("/lib64/ld-linux-x86-64.so.2") : loader;
}

// The `count` bytes at `offset` of `file`, when the file holds them all.
std::optional<QByteArray> bytesAt(QFile& file, quint64 offset, quint64 count) {
    if (offset > quint64(file.size()) || count > quint64(file.size()) - offset ||
        !file.seek(qint64(offset))) {
        return std::nullopt;
    }
    QByteArray bytes = file.read(qint64(count));
    if (quint64(bytes.size()) != count) return std::nullopt;
    return bytes;
}

// The interpreter an ELF file of this machine's class and byte order asks for in its PT_INTERP
// program header: the loader the kernel starts it with. None when the file names none or its
// headers reach past its end.
std::optional<QByteArray> requestedInterpreter(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const std::optional<QByteArray> head = bytesAt(file, 0, sizeof(ElfW(Ehdr)));
    if (!head) return std::nullopt;
    const auto elf = qFromUnaligned<ElfW(Ehdr)>(head->constData());
    if (elf.e_phentsize != sizeof(ElfW(Phdr))) return std::nullopt;
    const std::optional<QByteArray> table =
        bytesAt(file, elf.e_phoff, quint64(elf.e_phnum) * sizeof(ElfW(Phdr)));
    if (!table) return std::nullopt;
    for (ElfW(Half) i = 0; i < elf.e_phnum; ++i) {
        const auto header =
            qFromUnaligned<ElfW(Phdr)>(table->constData() + qsizetype(i * sizeof(ElfW(Phdr))));
        if (header.p_type != PT_INTERP) continue;
        if (header.p_filesz > PATH_MAX) return std::nullopt;
        const std::optional<QByteArray> name = bytesAt(file, header.p_offset, header.p_filesz);
        // The name ends at its first NUL, which the header must hold.
        if (!name || !name->contains('\0')) return std::nullopt;
        return name->left(name->indexOf('\0'));
    }
    return std::nullopt;
}

// The program asks for the very loader that runs this one, under whatever name: the one the
// checks below ask about it, so their answer holds for the program as it will start.
bool startsWithOurLoader(const QString& path) {
    const std::optional<QByteArray> interpreter = requestedInterpreter(path);
    if (!interpreter || !interpreter->startsWith('/')) return false;
    const QString requested = QFileInfo(QFile::decodeName(*interpreter)).canonicalFilePath();
    return !requested.isEmpty() && QFileInfo(requested).isFile() &&
           requested == QFileInfo(dynamicLoader()).canonicalFilePath();
}

bool loaderAccepts(const QString& path) {
    QProcess loader;
    loader.setStandardOutputFile(QProcess::nullDevice());
    loader.setStandardErrorFile(QProcess::nullDevice());
    loader.start(dynamicLoader(), {QStringLiteral("--verify"), path});
    return loader.waitForFinished(LOADER_WAIT_MS) && loader.exitStatus() == QProcess::NormalExit &&
           loader.exitCode() == 0;
}

// Every library the program needs is found, in the versions it asks for, and every symbol it
// uses resolves. The loader lists the libraries as it would load them here, without running
// any of the program (LD_TRACE_LOADED_OBJECTS, as ldd does), binding every symbol at once and
// reporting those it cannot (LD_BIND_NOW, LD_WARN): a missing library reads "not found", any
// other trouble goes to its standard error.
bool librariesResolve(const QString& path) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    environment.insert(QStringLiteral("LD_BIND_NOW"), QStringLiteral("1"));
    environment.insert(QStringLiteral("LD_WARN"), QStringLiteral("1"));
    QProcess loader;
    loader.setProcessEnvironment(environment);
    loader.start(dynamicLoader(), {path});
    return loader.waitForFinished(LOADER_WAIT_MS) && loader.exitStatus() == QProcess::NormalExit &&
           loader.exitCode() == 0 && loader.readAllStandardError().isEmpty() &&
           !loader.readAllStandardOutput().contains("not found");
}

}  // namespace

bool mayRunHere(const QString& executable) {
    const QFileInfo file(executable);
    return !file.isSymbolicLink() && file.isFile() && file.isExecutable() &&
           elfForThisMachine(executable) && startsWithOurLoader(executable) &&
           loaderAccepts(file.absoluteFilePath()) && librariesResolve(file.absoluteFilePath());
}
