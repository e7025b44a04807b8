#pragma once

#include <optional>

namespace platform {

// The desktop's colour-scheme preference, as the XDG desktop portal reports it: true for
// dark, false for light, none when the desktop states no preference or has no portal.
std::optional<bool> desktopPrefersDark();

// Whether the desktop's panel is dark, where the desktop says so: GNOME's top bar always is;
// XFCE's follows its "dark mode" setting, else its theme's name. None elsewhere.
std::optional<bool> panelIsDark();

}  // namespace platform
