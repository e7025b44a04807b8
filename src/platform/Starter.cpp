#include "platform/Starter.h"

#include <QDir>
#include <QProcess>

namespace platform {

bool DetachedStarter::startDetached(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // Not the folder this copy was started from: that one may be about to go.
    process.setWorkingDirectory(QDir::homePath());
    return process.startDetached();
}

}  // namespace platform
