#pragma once

#include <QObject>
#include <QString>

#include "maintenance/Installer.h"
#include "maintenance/Mover.h"
#include "maintenance/Updater.h"
#include "platform/Desktop.h"
#include "platform/LoginItem.h"
#include "settings/Config.h"
#include "signin/SignIn.h"
#include "state/AppState.h"
#include "sync/SyncEngine.h"

// Everything the user can do, in one place: the status menu and the dashboard both call these,
// so a choice behaves the same from either. Questions to the user (confirmations, offers) are
// the views' to ask before they call; nothing here opens a dialog.
//
// Main thread only. A setting that cannot be saved stays in force for this run and is shown as
// the error line.
class UserActions : public QObject {
    Q_OBJECT

  public:
    UserActions(Config& config, AppState& state, SyncEngine& sync, SignIn& signIn,
                platform::LoginItem& loginItem, platform::Desktop& desktop, Updater& updater,
                Installer& installer, Mover& mover, QObject* parent = nullptr);

    void togglePause();
    // Stores the status emoji (the default for an empty code), asks Slack again whether the
    // workspace has :spotify:, and starts a step.
    void pickEmoji(const QString& code);
    void pickMenuMark(MenuMark mark);
    // Turns the work-hours window on or off, keeping its times.
    void toggleWorkHours();
    void saveWorkHours(bool enabled, MinuteRange range);
    void toggleLoginItem();
    // Shares from `player` (all its instances) or stops sharing from it, and starts a step; the
    // file is written only when the choice changed what it stores.
    void sharePlayer(const SharedPlayer& player, bool shared);
    // Stores the user's format for the status text and starts a step; the reason when it cannot
    // be used, and then nothing is stored.
    std::optional<QString> saveStatusFormat(const QString& format);
    // Keeps every track of `artist` private from now on, taking the status down at once when
    // one plays; or shares that artist's tracks again.
    void keepArtistPrivate(const QString& artist);
    void shareArtistAgain(const QString& artist);

    // Signs in to a workspace: the first, another one, or one Slack signed the user out of
    // again (the same workspace's sign-in is replaced). When the user's own Slack app is wanted
    // first, asks the views for it with slackAppNeeded instead.
    void signIn();
    // Whether a sign-in first asks for the client ID of the user's own Slack app: in a build
    // without one, until a workspace has signed in with the one given.
    bool asksForSlackApp() const;
    // Keeps the client ID the user gave and signs in with it; the reason when it is no client
    // ID, and then nothing is kept or started.
    std::optional<QString> signInWithSlackApp(const QString& pasted);
    // Opens Slack's page that creates the app from the program's manifest; false when no
    // browser opened it.
    bool createSlackApp();
    // Clears the program's own status in that workspace and forgets it, keeping the others.
    void removeWorkspace(const QString& key);
    // Clears the program's own status everywhere and forgets every setting. Asks nothing: the
    // views confirm first.
    void disconnect();

    // Whether this build checks for updates at all.
    bool updatesOffered() const { return updater_.enabled(); }
    // Whether this copy's updates come from the package manager, which the views then say.
    bool updatesFromPackageManager() const { return updater_.updatesFromPackageManager(); }
    // Asks the vendor's service for a newer version, saying so when there is none.
    void checkForUpdate();
    // Offers the version already found again.
    void updateNow();
    void installUpdate(const QString& version);
    // Moves the running copy into the install folder; see Mover.
    Mover::Result moveToApplications();

    // Helps add :spotify: to the workspace: the logo to upload and the workspace's emoji page;
    // the workspace is then asked for it more often for a while.
    void addSpotifyEmoji();
    void getSpotify();

  signals:
    // A sign-in waits for the client ID of the user's Slack app; `clientId` is the one given
    // before, if any.
    void slackAppNeeded(const QString& clientId);

  private:
    void save();
    void settingsSaved(const std::optional<QString>& failure);
    void savePrivateArtists(const QStringList& artists);

    Config& config_;
    AppState& state_;
    SyncEngine& sync_;
    SignIn& signIn_;
    platform::LoginItem& loginItem_;
    platform::Desktop& desktop_;
    Updater& updater_;
    Installer& installer_;
    Mover& mover_;
};
