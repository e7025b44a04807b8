#include "update/BuiltIn.h"

#ifndef TRACKGLINT_UPDATE_PUBLIC_KEY
#define TRACKGLINT_UPDATE_PUBLIC_KEY ""
#endif

// The download limits are DownloadLimits' own: 64 MiB at most, and at least 32 KiB in every 30
// seconds.
const BuiltIn HELPER_BUILT_IN{TRACKGLINT_UPDATE_PUBLIC_KEY, {}};
