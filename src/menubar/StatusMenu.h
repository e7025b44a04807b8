#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "actions/UserActions.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "state/AppState.h"
#include "ui/MarkDrawing.h"
#include "ui/Prompts.h"

// The tray item: the drawn mark, a tooltip with the now-playing line, and the status menu,
// rebuilt from the settings and the display state every time it is about to open. A left
// click opens the same menu.
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
    // Rebuilds the menu; runs every time it is about to open.
    void menuNeedsUpdate();

    QMenu& menu() { return *menu_; }
    QSystemTrayIcon& trayIcon() { return trayIcon_; }

  private:
    QAction* addLine(const QString& text);
    QAction* addEntry(const QString& text, std::function<void()> action);
    void addSignedInEntries();
    void addEmojiMenu();
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
    QSystemTrayIcon trayIcon_;
};
