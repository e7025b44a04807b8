#pragma once

#include <QDialog>

#include "actions/UserActions.h"

class QLabel;
class QLineEdit;
class QPushButton;

// "Connect Trackglint to Slack": the steps that give a copy built without a Slack app of its own
// the user's app (create it from the program's manifest, turn on PKCE, paste its client ID),
// then the sign-in with it. It keeps no state of its own: the client ID goes to the settings
// once the user signs in with it.
class SlackAppWindow final : public QDialog {
    Q_OBJECT

  public:
    explicit SlackAppWindow(UserActions& actions, QWidget* parent = nullptr);

    // Shows the window with `clientId`, the one given before, ready to be used or changed.
    void ask(const QString& clientId);

  private:
    void build();
    QWidget* stepsBox();
    QWidget* clientIdRow();
    void createApp();
    void checkClientId();
    void signInWithIt();

    UserActions& actions_;
    QLineEdit* clientId_ = nullptr;
    QLabel* problem_ = nullptr;
    QLabel* noBrowser_ = nullptr;
    QPushButton* signIn_ = nullptr;
};
