#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// What the kernel counts for one running process, read from /proc.
class ProcessMeter {
  public:
    explicit ProcessMeter(qint64 pid);

    // The resident set size now, in KiB (VmRSS).
    qint64 residentKiB() const;
    // The time spent on a CPU so far by all the process's threads, in nanoseconds, from each
    // thread's schedstat. A thread that has ended counts with its last reading, so sample
    // often enough to see short-lived threads.
    qint64 cpuNanoseconds();
    // Those of `libraries` (the start of a file name, "libarchive" say) that the process maps.
    QStringList mapped(const QStringList& libraries) const;

  private:
    QString procDir_;
    QHash<QString, qint64> threadCpu_;
};
