#include "ProcessMeter.h"

#include <QDir>
#include <QFile>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

ProcessMeter::ProcessMeter(qint64 pid) : procDir_(QStringLiteral("/proc/%1").arg(pid)) {}

qint64 ProcessMeter::residentKiB() const {
    for (const QByteArray& line : readAll(procDir_ + "/status").split('\n')) {
        if (!line.startsWith("VmRSS:")) continue;
        return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

qint64 ProcessMeter::cpuNanoseconds() {
    const QDir tasks(procDir_ + "/task");
    for (const QString& thread : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        // The first field is the time spent running, in nanoseconds.
        const QByteArray stat = readAll(tasks.filePath(thread) + "/schedstat");
        if (!stat.isEmpty()) threadCpu_[thread] = stat.split(' ').value(0).toLongLong();
    }
    qint64 total = 0;
    for (const qint64 cpu : std::as_const(threadCpu_)) total += cpu;
    return total;
}

QStringList ProcessMeter::mapped(const QStringList& libraries) const {
    const QByteArray maps = readAll(procDir_ + "/maps");
    QStringList found;
    for (const QString& library : libraries) {
        if (maps.contains('/' + library.toUtf8())) found += library;
    }
    return found;
}
