#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/Bundle.h"
#include "platform/Files.h"
#include "platform/LoginItem.h"

namespace platform {
namespace {

// Backslashes and line breaks as the escapes of a desktop entry's string values.
QString escaped(QString value) {
    return value.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n"));
}

QString launcherEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/applications/trackglint.desktop");
}

void writeLauncherEntry(const QString& bundlePath) {
    const QString path = launcherEntryPath();
    const QString entry =
        QStringLiteral(
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Trackglint\n"
            "Comment=Shows what you play in Spotify as your Slack status\n"
            "Exec=%1\n"
            "Icon=%2\n"
            "Terminal=false\n"
            "Categories=Utility;\n"
            "StartupNotify=false\n")
            .arg(execQuoted(executableIn(bundlePath)),
                 escaped(bundlePath + QStringLiteral("/Contents/Resources/trackglint.png")));
    // The launcher entry is a convenience: without it the installed copy still runs.
    if (QDir().mkpath(QFileInfo(path).absolutePath()))
        (void)writeFilePrivately(path, entry.toUtf8());
}

}  // namespace

QString execQuoted(const QString& program) {
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
        if (c == u'%') quoted += u'%';
    }
    return escaped(u'"' + quoted + u'"');
}

void registerInstalledApplication(const QString& bundlePath) {
    writeLauncherEntry(bundlePath);
    XdgAutostart autostart(executableIn(bundlePath));
    if (autostart.enabled()) autostart.setEnabled(true);
}

}  // namespace platform
