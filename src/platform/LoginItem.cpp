#include "platform/LoginItem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/DesktopEntry.h"
#include "platform/Files.h"

namespace platform {
namespace {

// Reads "Hidden" from the entry's [Desktop Entry] group.
bool hidden(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == QLatin1String("Hidden")) {
            return line.mid(equals + 1).trimmed() == QLatin1String("true");
        }
    }
    return false;
}

}  // namespace

XdgAutostart::XdgAutostart(QString program) : program_(std::move(program)) {}

QString XdgAutostart::entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/trackglint.desktop");
}

bool XdgAutostart::enabled() const {
    const QString path = entryPath();
    return QFileInfo::exists(path) && !hidden(path);
}

std::optional<QString> XdgAutostart::setEnabled(bool enabled) {
    const QString path = entryPath();
    if (!enabled) {
        if (!QFileInfo::exists(path) || QFile::remove(path)) return std::nullopt;
        return QStringLiteral("could not remove %1").arg(path);
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return QStringLiteral("could not create %1").arg(folder);
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=Trackglint\n"
                              "Comment=Shows what you play in Spotify as your Slack status\n"
                              "Exec=%1\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(execQuoted(program_));
    if (const std::optional<QString> failure = writeFilePrivately(path, entry.toUtf8())) {
        return QStringLiteral("could not write %1 (%2)").arg(path, *failure);
    }
    return std::nullopt;
}

}  // namespace platform
