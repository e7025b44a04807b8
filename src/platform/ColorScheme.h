#pragma once

#include <optional>

namespace platform {

// The desktop's colour-scheme preference, as the XDG desktop portal reports it: true for
// dark, false for light, none when the desktop states no preference or has no portal.
std::optional<bool> desktopPrefersDark();

}  // namespace platform
