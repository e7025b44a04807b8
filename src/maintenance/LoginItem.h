#pragma once

#include "main/AppState.h"
#include "platform/LoginItem.h"

// Turns launch at login on or off; a failure is shown as the error line.
void toggleLoginItem(platform::LoginItem& loginItem, AppState& state);
