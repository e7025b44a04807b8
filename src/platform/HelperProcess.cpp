#include "platform/HelperProcess.h"

#include <QSignalBlocker>

namespace platform {

HelperProcess::HelperProcess(QString program, QObject* parent)
    : QObject(parent), program_(std::move(program)) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
