#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "main/AppState.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"

class SignIn;
class SyncEngine;

// The tray item: the drawn mark, a tooltip with the now-playing line, and the status menu,
// rebuilt from the settings and the display state every time it is about to open. A left
// click opens the same menu.
//
// Main thread only. The actions that belong to other parts are handed in as callbacks.
class StatusMenu : public QObject {
    Q_OBJECT

  public:
    struct Actions {
        std::function<void()> openDashboard;
        std::function<void()> checkForUpdate;
        std::function<void()> updateNow;
        std::function<void()> quit;
    };

    StatusMenu(Config& config, AppState& state, SyncEngine& sync, SignIn& signIn,
               platform::LoginItem& loginItem, platform::Desktop& desktop, Actions actions,
               QObject* parent = nullptr);
    ~StatusMenu() override;

    // Shows the item in the tray.
    void show();
    // Redraws the mark the settings name.
    void applyMenuMark();
    // Rebuilds the menu; runs every time it is about to open.
    void menuNeedsUpdate();

    QMenu& menu() { return *menu_; }
    QSystemTrayIcon& trayIcon() { return trayIcon_; }

    // The menu's own actions.
    void pickEmoji(const QString& code);
    void toggleWorkHours();
    void getSpotify();

  private:
    QAction* addLine(const QString& text);
    QAction* addEntry(const QString& text, std::function<void()> action);
    void addSignedInEntries();
    void addEmojiMenu();
    void updateToolTip();

    Config& config_;
    AppState& state_;
    SyncEngine& sync_;
    SignIn& signIn_;
    platform::LoginItem& loginItem_;
    platform::Desktop& desktop_;
    Actions actions_;
    QColor markColour_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QMenu> emojiMenu_;
    QSystemTrayIcon trayIcon_;
};
