#pragma once

#include <QStringList>
#include <QWidget>

#include "actions/UserActions.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "state/AppState.h"

class FormatRow;
class PrivateArtistRows;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimeEdit;
class QVBoxLayout;

// The settings of the signed-in window: the status emoji, with help for adding :spotify: when
// the workspace lacks it, the status text's format, the tray's mark, the players to share from,
// work hours, the start at login and the artists kept private.
//
// The controls hold no state of their own: `refresh` rewrites them from the settings and the
// display state; each control calls the user's actions. The only history kept is whether the
// help for adding :spotify: has been shown, a pop-up's selection while the stored value
// matches none of its items, and a format that cannot be used, left in its field to be mended.
class Choices final : public QWidget {
  public:
    // `background` is the window's, that the help's text must read on; `tabRoot` holds every
    // control of the window.
    Choices(const Config& config, const AppState& state, UserActions& actions,
            const platform::LoginItem& loginItem, const QColor& background, QWidget* tabRoot);

    void refresh();
    // What the size of these rows follows: the help's text and which of it shows.
    QStringList sizeInputs() const;

  private:
    void addEmojiRows(QVBoxLayout* layout, const QColor& background);
    void addMarkRow(QVBoxLayout* layout);
    void alignRowTitles();
    void addShareRow(QVBoxLayout* layout);
    void addWorkHoursRow(QVBoxLayout* layout);
    void refreshEmojiHelp();
    void refreshMenuMark();
    void refreshPlayers();
    void refreshWorkHours();
    void pickEmoji();
    void pickMenuMark();
    void saveWorkHours();

    const Config& config_;
    const AppState& state_;
    UserActions& actions_;
    const platform::LoginItem& loginItem_;
    QLabel* emojiTitle_ = nullptr;
    QComboBox* emojiPopup_ = nullptr;
    QWidget* emojiHelpRow_ = nullptr;
    QLabel* emojiHelpLabel_ = nullptr;
    QPushButton* emojiHelpButton_ = nullptr;
    bool emojiHelpWasShown_ = false;
    FormatRow* formatRow_ = nullptr;
    QLabel* markTitle_ = nullptr;
    QComboBox* menuMarkPopup_ = nullptr;
    QWidget* shareRow_ = nullptr;
    QVBoxLayout* playerChecks_ = nullptr;  // a check box per player, made when it first runs
    QCheckBox* workHoursCheck_ = nullptr;
    QTimeEdit* startPicker_ = nullptr;
    QTimeEdit* endPicker_ = nullptr;
    QCheckBox* loginCheck_ = nullptr;
    PrivateArtistRows* privateArtists_ = nullptr;
};
