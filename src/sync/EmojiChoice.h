#pragma once

#include <QString>
#include <optional>

// The emoji a status carries: the user's pick from EMOJI_CHOICES, or, without one, the
// workspace's own :spotify: once it is known to exist. A :spotify: pick gives way only when
// the workspace is known to lack it. `available` is whether the workspace has :spotify:
// (none: not known yet).
QString effectiveEmoji(const std::optional<QString>& chosen, std::optional<bool> available);
