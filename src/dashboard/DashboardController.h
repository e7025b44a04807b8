#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

#include "main/AppState.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "signin/SignIn.h"
#include "sync/SyncEngine.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class QTimeEdit;
class QWidget;

// The program's one window: what is being mirrored, and every setting in one place.
//
// The controls hold no state of their own: `refresh` rewrites them all from the settings and
// the display state, and each control's action writes a setting or calls a part, then, as a
// rule, refreshes. The only history kept is whether the help for adding :spotify: has been
// shown, and a pop-up's selection while the stored value matches none of its items.
//
// Main thread only. The window is created here but never shown here; closing it only hides it.
class DashboardController : public QObject {
    Q_OBJECT

  public:
    DashboardController(Config& config, AppState& state, SyncEngine& sync, SignIn& signIn,
                        platform::LoginItem& loginItem, platform::Desktop& desktop,
                        std::function<void()> applyMenuMark, QObject* parent = nullptr);
    ~DashboardController() override;

    QWidget* window();

    // Rewrites every control from the settings and the display state, and fits the window to
    // what is now visible. Runs after every sync step, emoji check and sign-in.
    void refresh();

    // The controls' actions.
    void togglePause();
    void signIn();
    void pickEmoji();
    void addEmoji();
    void pickMenuMark();
    void saveWorkHours();
    void toggleLogin();
    void disconnect();

  private:
    void buildUI();
    QWidget* buildConnectedBox();
    QWidget* buildSignInBox();
    void refreshEmojiHelp();
    void refreshWorkHours();
    QStringList sizeInputs() const;
    void fitWindow();

    Config& config_;
    AppState& state_;
    SyncEngine& sync_;
    SignIn& signIn_;
    platform::LoginItem& loginItem_;
    platform::Desktop& desktop_;
    std::function<void()> applyMenuMark_;

    // The window is a dialog so that Return presses the default button.
    std::unique_ptr<QDialog> window_;
    bool dark_ = false;      // the desktop's appearance when the window was built
    QStringList fittedFor_;  // sizeInputs() at the last fit
    QLabel* nowPlaying_ = nullptr;
    QLabel* signedInAs_ = nullptr;
    QLabel* errorLine_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* signInButton_ = nullptr;
    QComboBox* emojiPopup_ = nullptr;
    QComboBox* menuMarkPopup_ = nullptr;
    QLabel* emojiHelpLabel_ = nullptr;
    QPushButton* emojiHelpButton_ = nullptr;
    QWidget* emojiHelpRow_ = nullptr;
    bool emojiHelpWasShown_ = false;
    QCheckBox* workHoursCheck_ = nullptr;
    QTimeEdit* startPicker_ = nullptr;
    QTimeEdit* endPicker_ = nullptr;
    QCheckBox* loginCheck_ = nullptr;
    QPushButton* disconnectButton_ = nullptr;
    QWidget* connectedBox_ = nullptr;
    QWidget* signInBox_ = nullptr;
};
