#pragma once

#include <QString>

namespace platform {

// `program` as the Exec key of a desktop entry holds it: quoted, with the characters that are
// special inside quotes, in field codes or in the key's own escapes escaped, so any path
// reaches the program unchanged.
QString execQuoted(const QString& program);

// Makes the bundle at `bundlePath` the installed application: a launcher entry,
// "trackglint.desktop" in $XDG_DATA_HOME/applications (by default ~/.local/share/applications),
// starts its executable with its icon; and when launch at login is on, the autostart entry
// starts that executable from now on. Failures are ignored: the copy runs without them.
void registerInstalledApplication(const QString& bundlePath);

}  // namespace platform
