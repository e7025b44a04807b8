#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

#include "actions/UserActions.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "state/AppState.h"
#include "ui/Prompts.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimeEdit;
class QVBoxLayout;
class QWidget;

// The program's one window: what is being mirrored, and every setting in one place.
//
// The controls hold no state of their own: `refresh` rewrites them all from the settings and
// the display state, and runs whenever either changes; each control calls the user's actions.
// The only history kept is whether the help for adding :spotify: has been shown, and a
// pop-up's selection while the stored value matches none of its items.
//
// Main thread only. The window is created here but never shown here; closing it only hides it.
class DashboardController : public QObject {
    Q_OBJECT

  public:
    DashboardController(Config& config, AppState& state, UserActions& actions, Prompts& prompts,
                        platform::LoginItem& loginItem, QObject* parent = nullptr);
    ~DashboardController() override;

    QWidget* window();

    // Rewrites every control from the settings and the display state, and fits the window to
    // what is now visible.
    void refresh();

    // The controls' actions.
    void pickEmoji();
    void pickMenuMark();
    void saveWorkHours();
    void disconnect();

  private:
    QColor textColour(const QColor& wanted) const;
    void buildUI();
    QWidget* buildHeader();
    QWidget* buildErrorLine();
    QWidget* buildVersion();
    QWidget* buildConnectedBox();
    QWidget* buildSignInBox();
    void addNowPlaying(QVBoxLayout* layout);
    void addWorkspaceList(QVBoxLayout* layout);
    void addWorkspaceRow();
    void addEmojiRows(QVBoxLayout* layout);
    void addMarkRow(QVBoxLayout* layout);
    void addWorkHoursRow(QVBoxLayout* layout);
    void alignRowTitles();
    void refreshWorkspaces();
    void refreshEmojiHelp();
    void refreshMenuMark();
    void refreshWorkHours();
    QStringList sizeInputs() const;
    void fitWindow();

    Config& config_;
    AppState& state_;
    UserActions& actions_;
    Prompts& prompts_;
    platform::LoginItem& loginItem_;

    // The window is a dialog so that Return presses the default button.
    std::unique_ptr<QDialog> window_;
    bool dark_ = false;      // the desktop's appearance when the window was built
    QStringList fittedFor_;  // sizeInputs() at the last fit
    QLabel* nowPlaying_ = nullptr;
    // A workspace's row in the list: its line and its Remove button. Rows are made as
    // workspaces come and hidden when they go; workspaceKeys_ holds the workspace of each row
    // that shows, in order.
    struct WorkspaceRow {
        QWidget* row;
        QLabel* line;
        QPushButton* signInAgain;  // shown for a workspace Slack signed the user out of
        QPushButton* remove;
    };
    QVBoxLayout* workspaceList_ = nullptr;
    QList<WorkspaceRow> workspaceRows_;
    QStringList workspaceKeys_;
    QPushButton* addWorkspaceButton_ = nullptr;
    QLabel* errorLine_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    QPushButton* signInButton_ = nullptr;
    QLabel* emojiTitle_ = nullptr;
    QComboBox* emojiPopup_ = nullptr;
    QLabel* markTitle_ = nullptr;
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
    QWidget* content_ = nullptr;
    QScrollArea* scroller_ = nullptr;
};
