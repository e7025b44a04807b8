#include "platform/ColorScheme.h"

namespace platform {

// macOS has no desktop portal to ask; the caller falls back to the theme's palette, which Qt
// keeps in step with the system's appearance.
std::optional<bool> desktopPrefersDark() {
    return std::nullopt;
}

}  // namespace platform
