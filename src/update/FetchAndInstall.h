#pragma once

#include <QString>

#include "maintenance/UpdateRequest.h"
#include "update/BuiltIn.h"

// How an install ended, and what the helper reports with it (see UpdateOutcome).
struct UpdateReport {
    UpdateOutcome outcome;
    QString detail;
};

// The whole way from the vendor's archive to the installed copy, inside the request's working
// folder: the download, the unpacking, the vendor's signature over every file, the system's
// assessment of the program and of its update helper, the offered version, and the swap into
// the install folder, of exactly the files the vendor signed. Each step runs only when every
// step before it passed. The signature is checked with `builtIn`'s key, and the download kept
// within its limits.
UpdateReport fetchAndInstall(const UpdateRequest& request, const BuiltIn& builtIn);
