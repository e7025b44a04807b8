#pragma once

#include <functional>

namespace platform {

// Makes SIGTERM and SIGINT end the program the way a quit does: the signal is turned into a
// call of `quit` on the main thread, so the usual clean-up runs (a logout must clear the status
// like a quit). Call once, after the application object exists.
void quitOnTerminationSignals(std::function<void()> quit);

}  // namespace platform
