#pragma once

#include <QWidget>

#include "actions/UserActions.h"

// What the window shows signed out: a word on what signing in does, and the button that does
// it, the window's default.
class SignInBox final : public QWidget {
  public:
    explicit SignInBox(UserActions& actions);
};
