#include "platform/HelperProcess.h"

#include <unistd.h>

#include <QSignalBlocker>
#include <csignal>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace platform {

HelperProcess::HelperProcess(QString program, QObject* parent)
    : QObject(parent), program_(std::move(program)) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
    // In the helper's process, before it runs: the system kills it the moment the thread that
    // started it ends, which the main thread does only with this process. A helper that outlived
    // its program would go on to swap copies with nobody left to start the new one. Should this
    // process have ended before the request was made, the helper already has another parent,
    // and ends at once. Only async-signal-safe calls here.
    const pid_t starter = ::getpid();
    process_.setChildProcessModifier([starter] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != starter) ::_exit(127);
    });
#endif
    connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus how) {
        emit finished(how == QProcess::NormalExit ? code : -1, process_.readAllStandardOutput());
    });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) emit finished(-1, {});
    });
}

HelperProcess::~HelperProcess() {
    stop();
}

void HelperProcess::start(const QStringList& arguments) {
    process_.start(program_, arguments);
}

void HelperProcess::stop() {
    if (!running()) return;
    const QSignalBlocker quiet(process_);
    process_.kill();
    process_.waitForFinished();
}

}  // namespace platform
