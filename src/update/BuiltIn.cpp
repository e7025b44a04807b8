#include "update/BuiltIn.h"

#ifndef TRACKGLINT_UPDATE_PUBLIC_KEY
#define TRACKGLINT_UPDATE_PUBLIC_KEY ""
#endif

// The download limits are DownloadLimits' own: 64 MiB at most, at least 32 KiB in every 30
// seconds, and 10 minutes in all.
const BuiltIn HELPER_BUILT_IN{TRACKGLINT_UPDATE_PUBLIC_KEY, {}};
