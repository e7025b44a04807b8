#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "platform/Desktop.h"
#include "platform/Starter.h"

// Offers, at launch, to move a copy that runs from outside the install folder into it.
class Mover {
  public:
    // `runningBundle`: the bundle this copy runs from, none for a bare build (see
    // runningBundlePath()); `installFolder`: where the installed copy lives; `quit` ends the
    // running copy.
    Mover(platform::Desktop& desktop, platform::Starter& starter,
          std::optional<QString> runningBundle, QString installFolder, std::function<void()> quit);

    // Asks whether to move; on yes, makes a copy of the running bundle the installed copy,
    // starts it with "--moved", removes the running bundle and quits. Nothing is asked without
    // a bundle or when the bundle is already inside the install folder. True when this copy
    // has handed over to the moved one and is quitting.
    bool offerMoveToApplications();

  private:
    bool inPlace() const;

    platform::Desktop& desktop_;
    platform::Starter& starter_;
    const std::optional<QString> runningBundle_;
    const QString installFolder_;
    const std::function<void()> quit_;
};

// The path of the bundle the running program was started from, if any.
std::optional<QString> runningBundlePath();
