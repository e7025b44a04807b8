#include "update/BuiltIn.h"

// The tests' helper trusts the tests' own key, whose secret half beside it signs their
// releases, and keeps to limits small enough for a test to reach them quickly.
const BuiltIn HELPER_BUILT_IN{TRACKGLINT_TEST_UPDATE_KEY,
                              {1 << 20, std::chrono::seconds(1), 1 << 10, std::chrono::seconds(3)}};
