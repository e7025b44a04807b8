#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace platform {

// Opens the folder that holds the file in the Finder.
void QtDesktop::showInFileManager(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

}  // namespace platform
