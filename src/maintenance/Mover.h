#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "maintenance/Distribution.h"
#include "platform/Starter.h"

// Moves, when the user agrees at launch, a copy that runs from outside the install folder into
// it. A copy the package manager installed stays where the package put it.
class Mover {
  public:
    struct Result {
        // The moved copy has been started and this one is quitting.
        bool handedOver = false;
        // Why the copy could not be made, when it could not.
        std::optional<QString> failure;
    };

    // `runningBundle`: the bundle this copy runs from, none for a bare build (see
    // runningBundlePath()); `installFolder`: where the installed copy lives; `distribution`:
    // who installed the running copy; `quit` ends the running copy.
    Mover(platform::Starter& starter, std::optional<QString> runningBundle, QString installFolder,
          Distribution distribution, std::function<void()> quit);

    // Whether to offer the move: the copy installs itself, there is a bundle, it is not inside
    // the install folder, and it is not the one a build has just made in its build folder.
    bool offersMove() const;
    // The name of the folder the running bundle is in, as the file manager shows it.
    QString runningFolderName() const;
    // Makes a copy of the running bundle the installed copy, starts it with "--moved", removes
    // the running bundle and quits.
    Result moveToApplications();

  private:
    bool inPlace() const;
    bool inBuildTree() const;

    platform::Starter& starter_;
    const std::optional<QString> runningBundle_;
    const QString installFolder_;
    const Distribution distribution_;
    const std::function<void()> quit_;
};

// The path of the bundle the running program was started from, if any.
std::optional<QString> runningBundlePath();
