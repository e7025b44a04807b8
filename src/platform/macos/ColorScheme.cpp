#include "platform/ColorScheme.h"

namespace platform {

// macOS has no desktop portal to ask; the caller falls back to the theme's palette, which Qt
// keeps in step with the system's appearance.
std::optional<bool> desktopPrefersDark() {
    return std::nullopt;
}

// The menu bar follows the system's appearance, which the palette follows too.
std::optional<bool> panelIsDark() {
    return std::nullopt;
}

}  // namespace platform
