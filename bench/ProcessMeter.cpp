#include "ProcessMeter.h"

#include <QDir>
#include <QFile>
#include <algorithm>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The number after `key` in a /proc status text; 0 when it has none.
qint64 statusValue(const QByteArray& status, const QByteArray& key) {
    const qsizetype at = status.indexOf("\n" + key);
    if (at < 0) return 0;
    const qsizetype end = status.indexOf('\n', at + 1);
    return status.mid(at + 1 + key.size(), end - at - 1 - key.size()).trimmed().toLongLong();
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

void ProcessMeter::sample() {
    const QDir tasks(procDir_ + "/task");
    for (const QString& id : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = tasks.filePath(id);
        // The first field of schedstat is the time spent running, in nanoseconds.
        const QByteArray stat = readAll(dir + "/schedstat");
        const QByteArray status = readAll(dir + "/status");
        if (stat.isEmpty() || status.isEmpty()) continue;  // ended meanwhile
        Thread& thread = threads_[id];
        thread.name = QString::fromUtf8(readAll(dir + "/comm").trimmed());
        thread.cpuNanoseconds = stat.split(' ').value(0).toLongLong();
        thread.voluntarySwitches = statusValue(status, "voluntary_ctxt_switches:");
        thread.forcedSwitches = statusValue(status, "nonvoluntary_ctxt_switches:");
    }
}

qint64 ProcessMeter::cpuNanoseconds() const {
    qint64 total = 0;
    for (const Thread& thread : threads_) total += thread.cpuNanoseconds;
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

qint64 ProcessMeter::voluntarySwitches() const {
    qint64 total = 0;
    for (const Thread& thread : threads_) total += thread.voluntarySwitches;
    return total;
}

qint64 ProcessMeter::forcedSwitches() const {
    qint64 total = 0;
    for (const Thread& thread : threads_) total += thread.forcedSwitches;
    return total;
}

QList<ProcessMeter::Thread> threadsBetween(const QHash<QString, ProcessMeter::Thread>& earlier,
                                           const QHash<QString, ProcessMeter::Thread>& later) {
    QHash<QString, ProcessMeter::Thread> byName;
    for (auto thread = later.cbegin(); thread != later.cend(); ++thread) {
        const ProcessMeter::Thread before = earlier.value(thread.key());
        ProcessMeter::Thread& sum = byName[thread->name];
        sum.name = thread->name;
        sum.cpuNanoseconds += thread->cpuNanoseconds - before.cpuNanoseconds;
        sum.voluntarySwitches += thread->voluntarySwitches - before.voluntarySwitches;
        sum.forcedSwitches += thread->forcedSwitches - before.forcedSwitches;
    }
    QList<ProcessMeter::Thread> busiest = byName.values();
    std::sort(busiest.begin(), busiest.end(), [](const auto& a, const auto& b) {
        return a.contextSwitches() > b.contextSwitches();
    });
    busiest.removeIf([](const ProcessMeter::Thread& t) {
        return t.contextSwitches() == 0 && t.cpuNanoseconds == 0;
    });
    return busiest;
}
