#pragma once

#include <QMenu>
#include <QObject>
#include <functional>
#include <memory>

#include "actions/UserActions.h"
#include "menubar/TrayIcon.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "state/AppState.h"
#include "ui/MarkDrawing.h"
#include "ui/Prompts.h"

// The tray item: the drawn mark, a tooltip with the now-playing line, and the status menu.
//
// The menu holds every entry either layout needs, made once, and a line per workspace, made
// when a workspace first needs it; every time it is about to open, the entries are brought up
// to date from the settings and the display state in place: their texts, whether they show,
// their check marks. So an entry keeps its identity, and a panel that shows the menu learns
// only of what changed. Texts show exactly as written, whatever they hold.
//
// Main thread only. Its entries call the user's actions; opening the window and quitting,
// which belong to the program as a whole, are handed in.
class StatusMenu : public QObject {
    Q_OBJECT

  public:
    struct ProgramActions {
        std::function<void()> openDashboard;
        std::function<void()> quit;
    };

    StatusMenu(Config& config, AppState& state, UserActions& actions, Prompts& prompts,
               platform::LoginItem& loginItem, ProgramActions program, QObject* parent = nullptr);
    ~StatusMenu() override;

    // Shows the item in the tray.
    void show();
    // Draws the mark the settings name; runs again whenever the stored mark changes.
    void applyMenuMark();
    // Brings the menu up to date; runs every time it is about to open.
    void menuNeedsUpdate();

    QMenu& menu() { return *menu_; }
    TrayIcon& trayIcon() { return trayIcon_; }

  private:
    // The menu's entries, in their order; those of one layout only are hidden in the other.
    struct Entries {
        QAction* nowPlaying;
        QAction* player;
        QAction* signIn;
        QAction* signedOutError;
        QAction* signedOutSeparator;
        QAction* getSpotify;
        QAction* open;
        QAction* addWorkspace;  // the workspaces' lines go just above it
        QAction* error;
        QAction* separator;
        QAction* pause;
        QAction* workHours;
        QAction* share;  // the players to share from
        QAction* emoji;
        QAction* login;
        QAction* updatesSeparator;
        QAction* update;
        QAction* checkForUpdates;  // or the line saying the package manager updates this copy
        QAction* disconnect;
        QAction* quit;
    };

    void buildMenu();
    QAction* buildUpdatesEntry();
    QAction* buildEmojiMenu();
    QAction* addLine();
    QAction* addEntry(const QString& title, std::function<void()> action);
    void updateLines(bool signedIn);
    void updatePrivateEntries(bool signedIn);
    void updateWorkspaceLines(bool signedIn);
    QAction* newWorkspaceEntry();
    void updateSettings(bool signedIn);
    void updateEmojiMenu();
    void updateShareMenu(bool signedIn);
    void updateToolTip();

    Config& config_;
    AppState& state_;
    UserActions& actions_;
    Prompts& prompts_;
    platform::LoginItem& loginItem_;
    ProgramActions program_;
    MarkColours markColours_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QMenu> emojiMenu_;
    // An entry per player, by the name it is chosen by, made when the player first runs; those
    // of players that no longer run are hidden.
    std::unique_ptr<QMenu> shareMenu_;
    Entries entries_{};
    // One per workspace, made as workspaces come; those past the last workspace are hidden.
    QList<QAction*> workspaceEntries_;
    // One per artist of the track playing, made likewise, below the player's lines.
    QList<QAction*> privateEntries_;
    TrayIcon trayIcon_;
};
