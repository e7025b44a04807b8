#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace platform {

// A helper program that does one task at a time for this one, in a process of its own, and
// reports how it ended with its exit status and its standard output. Its standard error goes
// to ours. When this object goes, a helper still running is killed; on Linux the helper is also
// killed when this process ends in any other way, a SIGKILL included.
class HelperProcess : public QObject {
    Q_OBJECT

  public:
    explicit HelperProcess(QString program, QObject* parent = nullptr);
    ~HelperProcess() override;

    // Starts the program with `arguments`; returns at once.
    void start(const QStringList& arguments);
    // Kills a helper still running, which then reports nothing.
    void stop();
    bool running() const { return process_.state() != QProcess::NotRunning; }

  signals:
    // The program ended: its exit status, or -1 when it could not be started or crashed, and
    // what it wrote to its standard output.
    void finished(int status, const QByteArray& output);

  private:
    const QString program_;
    QProcess process_;
};

}  // namespace platform
