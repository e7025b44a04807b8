#pragma once

// Who puts this copy in place and keeps it up to date.
enum class Distribution {
    // The program itself: a copy outside ~/Applications offers to move there, and updates come
    // from the vendor's service through the update helper.
    SelfManaged,
    // The system's package manager, which installed this copy (without the update helper) and
    // alone replaces it: the program neither moves nor updates itself.
    PackageManager,
};
