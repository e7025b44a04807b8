#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// What the kernel counts for one running process and its threads, read from /proc.
class ProcessMeter {
  public:
    // What one thread has used so far.
    struct Thread {
        QString name;                  // its comm, as the kernel shows it
        qint64 cpuNanoseconds = 0;     // time spent on a CPU (schedstat)
        qint64 voluntarySwitches = 0;  // it gave up the CPU to wait (status)
        qint64 forcedSwitches = 0;     // it was preempted: nonvoluntary (status)

        qint64 contextSwitches() const { return voluntarySwitches + forcedSwitches; }
    };

    explicit ProcessMeter(qint64 pid);

    // The resident set size now, in KiB (VmRSS).
    qint64 residentKiB() const;
    // Reads every thread's counts now. A thread that has ended keeps its last reading, so
    // sample often enough to see short-lived threads.
    void sample();
    // Totals over every thread seen, as of the last sample.
    qint64 cpuNanoseconds() const;
    qint64 voluntarySwitches() const;
    qint64 forcedSwitches() const;
    qint64 contextSwitches() const { return voluntarySwitches() + forcedSwitches(); }
    // Every thread seen, by thread id, as of the last sample.
    const QHash<QString, Thread>& threads() const { return threads_; }
    // Those of `libraries` (the start of a file name, "libarchive" say) that the process maps.
    QStringList mapped(const QStringList& libraries) const;

  private:
    QString procDir_;
    QHash<QString, Thread> threads_;
};

// The counts of each thread name between two readings of the same process: what `later` adds
// to `earlier`, threads of one name together, busiest first.
QList<ProcessMeter::Thread> threadsBetween(const QHash<QString, ProcessMeter::Thread>& earlier,
                                           const QHash<QString, ProcessMeter::Thread>& later);
