#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

#include "actions/UserActions.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "state/AppState.h"
#include "ui/Prompts.h"

class Choices;
class QDialog;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;
class WorkspaceRows;

// The program's one window: what is being mirrored, and every setting in one place. It puts
// together its sections (the workspace list, the choices, the foot, the sign-in box), routes
// each refresh to them, and fits the window to what they show.
//
// The controls hold no state of their own: `refresh` rewrites them all from the settings and
// the display state, and runs whenever either changes; each control calls the user's actions.
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

  private:
    QColor textColour(const QColor& wanted) const;
    void buildUI();
    QWidget* buildHeader();
    QWidget* buildErrorLine();
    QWidget* buildVersion();
    QWidget* buildConnectedBox();
    void addNowPlaying(QVBoxLayout* layout);
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
    WorkspaceRows* workspaceRows_ = nullptr;
    QLabel* errorLine_ = nullptr;
    QPushButton* pauseButton_ = nullptr;
    Choices* choices_ = nullptr;
    QWidget* connectedBox_ = nullptr;
    QWidget* signInBox_ = nullptr;
    QWidget* content_ = nullptr;
    QScrollArea* scroller_ = nullptr;
};
