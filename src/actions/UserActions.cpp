#include "actions/UserActions.h"

#include "maintenance/EmojiSetup.h"
#include "signin/SlackApp.h"
#include "state/Constants.h"
#include "sync/PrivateArtists.h"
#include "sync/StatusFormat.h"

UserActions::UserActions(Config& config, AppState& state, SyncEngine& sync, SignIn& signIn,
                         platform::LoginItem& loginItem, platform::Desktop& desktop,
                         Updater& updater, Installer& installer, Mover& mover, QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      sync_(sync),
      signIn_(signIn),
      loginItem_(loginItem),
      desktop_(desktop),
      updater_(updater),
      installer_(installer),
      mover_(mover) {}

void UserActions::save() {
    settingsSaved(config_.save());
}

// Says, until a save succeeds, that the settings could not be kept.
void UserActions::settingsSaved(const std::optional<QString>& failure) {
    state_.setTrouble(
        AppState::Trouble::Settings,
        failure ? std::optional(QStringLiteral("Couldn't save your settings: ") + *failure)
                : std::nullopt);
}

void UserActions::togglePause() {
    config_.setPaused(!config_.paused());
    save();
    sync_.tickAsync();
}

void UserActions::pickEmoji(const QString& code) {
    config_.setChosenEmoji(code.isEmpty() ? DEFAULT_EMOJI : code);
    save();
    sync_.tickAsync();
    sync_.checkEmojiAsync();
}

void UserActions::pickMenuMark(MenuMark mark) {
    config_.setMenuMark(mark);
    save();
}

void UserActions::toggleWorkHours() {
    config_.setWorkHoursEnabled(!config_.workHoursEnabled());
    save();
    sync_.tickAsync();
}

void UserActions::saveWorkHours(bool enabled, MinuteRange range) {
    config_.setWorkHours(enabled, range);
    save();
    sync_.tickAsync();
}

void UserActions::sharePlayer(const SharedPlayer& player, bool shared) {
    const PlayerChoices stored = config_.sharedPlayers();
    const PlayerChoices chosen = withChoice(stored, player, shared);
    if (chosen == stored) return;
    config_.setSharedPlayers(chosen);
    save();
    sync_.tickAsync();
}

std::optional<QString> UserActions::saveStatusFormat(const QString& format) {
    if (const std::optional<QString> problem = formatProblem(format)) return problem;
    if (format == config_.statusFormat()) return std::nullopt;
    config_.setStatusFormat(format);
    save();
    sync_.tickAsync();
    return std::nullopt;
}

void UserActions::keepArtistPrivate(const QString& artist) {
    savePrivateArtists(withArtist(config_.privateArtists(), artist));
}

void UserActions::shareArtistAgain(const QString& artist) {
    savePrivateArtists(withoutArtist(config_.privateArtists(), artist));
}

void UserActions::savePrivateArtists(const QStringList& artists) {
    if (artists == config_.privateArtists()) return;
    config_.setPrivateArtists(artists);
    save();
    sync_.tickAsync();
}

void UserActions::toggleLoginItem() {
    const std::optional<QString> failure = loginItem_.setEnabled(!loginItem_.enabled());
    state_.setTrouble(
        AppState::Trouble::LoginItem,
        failure ? std::optional(QStringLiteral("Login item: ") + *failure) : std::nullopt);
}

void UserActions::signIn() {
    if (asksForSlackApp()) return emit slackAppNeeded(config_.slackClientId().value_or(QString()));
    signIn_.signIn();
}

bool UserActions::asksForSlackApp() const {
    // A client ID the user gave may be wrong: until a workspace has signed in with it, every
    // sign-in shows it again, ready to be changed.
    return !slackAppBuiltIn() && (!slackClientId(config_) || !config_.signedIn());
}

std::optional<QString> UserActions::signInWithSlackApp(const QString& pasted) {
    const QString clientId = pastedClientId(pasted);
    if (!validClientId(clientId)) return clientIdProblem(clientId);
    if (config_.slackClientId() != clientId) {
        config_.setSlackClientId(clientId);
        save();
    }
    signIn_.signIn();
    return std::nullopt;
}

bool UserActions::createSlackApp() {
    return desktop_.openUrl(slackAppCreationUrl());
}

void UserActions::removeWorkspace(const QString& key) {
    settingsSaved(signIn_.removeWorkspace(key));
}

void UserActions::disconnect() {
    signIn_.disconnect();
}

void UserActions::checkForUpdate() {
    updater_.checkForUpdate(true);
}

void UserActions::updateNow() {
    updater_.offerAgain();
}

void UserActions::installUpdate(const QString& version) {
    installer_.installUpdate(version);
}

Mover::Result UserActions::moveToApplications() {
    return mover_.moveToApplications();
}

void UserActions::addSpotifyEmoji() {
    ::addSpotifyEmoji(config_, desktop_);
    sync_.watchForEmoji();
}

void UserActions::getSpotify() {
    desktop_.openUrl(QUrl(SPOTIFY_DOWNLOAD_URL));
}
