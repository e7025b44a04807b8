#pragma once

#include <QWidget>

#include "actions/UserActions.h"
#include "ui/Prompts.h"

// The foot of the signed-in window: notes on how the mirroring behaves, where updates come
// from when the package manager brings them, and Disconnect.
class Footer final : public QWidget {
    Q_OBJECT

  public:
    Footer(UserActions& actions, Prompts& prompts);

  signals:
    // The user answered whether to disconnect, either way.
    void disconnectAnswered();

  private:
    void askToDisconnect();

    UserActions& actions_;
    Prompts& prompts_;
};
