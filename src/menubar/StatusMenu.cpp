#include "menubar/StatusMenu.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "platform/ColorScheme.h"
#include "state/Constants.h"
#include "sync/EmojiChoice.h"
#include "sync/PrivateArtists.h"
#include "sync/WorkHours.h"
#include "sync/WorkspaceLines.h"
#include "ui/MarkDrawing.h"
#include "ui/SpotifyLogo.h"

namespace {

// The slot sizes panels ask for; each gets its own drawing rather than a scaled one.
constexpr int ICON_SIDES[] = {16, 22, 24, 32, 48, 64};

// Text shown as written: Qt would take "&" in an entry's text for a mnemonic marker. (The
// panel's copy of the menu undoes this; see DBusMenuExporter.)
QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

// Whether the panel is most likely dark: as the desktop's own settings say, else as its
// colour-scheme preference, or, without one, as the theme's window colour. The mark's colours
// read on either, should the guess be wrong.
bool panelLikelyDark() {
    std::optional<bool> dark = platform::panelIsDark();
    if (!dark) dark = platform::desktopPrefersDark();
    if (!dark) dark = QGuiApplication::palette().color(QPalette::Window).lightness() < 128;
    return *dark;
}

}  // namespace

StatusMenu::StatusMenu(Config& config, AppState& state, UserActions& actions, Prompts& prompts,
                       platform::LoginItem& loginItem, ProgramActions program, QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      actions_(actions),
      prompts_(prompts),
      loginItem_(loginItem),
      program_(std::move(program)),
      markColours_(markColours(panelLikelyDark())),
      menu_(std::make_unique<QMenu>()),
      trayIcon_(*menu_, program_.openDashboard) {
    buildMenu();
    connect(menu_.get(), &QMenu::aboutToShow, this, &StatusMenu::menuNeedsUpdate);
    connect(&state_, &AppState::playerChanged, this, &StatusMenu::updateToolTip);
    connect(&state_, &AppState::workspacesChanged, this, &StatusMenu::updateToolTip);
    connect(&config_, &Config::changed, this, [this](Config::Setting setting) {
        if (setting == Config::Setting::MenuMark || setting == Config::Setting::Everything)
            applyMenuMark();
        if (setting == Config::Setting::Paused) updateToolTip();
    });
    applyMenuMark();
    updateToolTip();
    menuNeedsUpdate();
}

StatusMenu::~StatusMenu() = default;

void StatusMenu::show() {
    trayIcon_.show();
}

void StatusMenu::applyMenuMark() {
    const MenuMark mark = config_.menuMark().value_or(MenuMark::Wordmark);
    QIcon icon;
    for (const int side : ICON_SIDES) icon.addPixmap(drawMark(mark, markColours_, side));
    trayIcon_.setIcon(icon);
}

void StatusMenu::updateToolTip() {
    const QString toolTip = QStringLiteral("Trackglint\n") + firstLine(state_, config_.paused());
    // The panel is told only of a text that changed.
    if (trayIcon_.toolTip() != toolTip) trayIcon_.setToolTip(toolTip);
}

// Every entry of both layouts, in menu order, with the titles that never change.
void StatusMenu::buildMenu() {
    Entries& e = entries_;
    e.nowPlaying = addLine();
    e.player = addLine();
    e.signIn = addEntry(QStringLiteral("Sign in with Slack…"), [this] { actions_.signIn(); });
    e.signedOutError = addLine();
    e.signedOutSeparator = menu_->addSeparator();
    e.getSpotify = addEntry(QStringLiteral("Get Spotify…"), [this] { actions_.getSpotify(); });
    e.open = addEntry(QStringLiteral("Open Trackglint…"), program_.openDashboard);
    e.addWorkspace =
        addEntry(QStringLiteral("Add Another Workspace…"), [this] { actions_.signIn(); });
    e.error = addLine();
    e.separator = menu_->addSeparator();
    e.pause = addEntry({}, [this] { actions_.togglePause(); });
    e.workHours = addEntry({}, [this] { actions_.toggleWorkHours(); });
    shareMenu_ = std::make_unique<QMenu>(QStringLiteral("Share From"));
    e.share = menu_->addMenu(shareMenu_.get());
    e.emoji = buildEmojiMenu();
    e.login = addEntry(QStringLiteral("Start at login"), [this] { actions_.toggleLoginItem(); });
    e.updatesSeparator = menu_->addSeparator();
    e.update = addEntry({}, [this] { actions_.updateNow(); });
    e.checkForUpdates = buildUpdatesEntry();
    e.disconnect = addEntry(QStringLiteral("Disconnect Slack…"), [this] {
        if (prompts_.confirmDisconnect()) actions_.disconnect();
    });
    e.quit = addEntry(QStringLiteral("Quit Trackglint"), program_.quit);
    e.workHours->setCheckable(true);
    e.login->setCheckable(true);
}

// "Check for Updates…"; for a copy the package manager updates, a line that says so instead.
QAction* StatusMenu::buildUpdatesEntry() {
    if (!actions_.updatesFromPackageManager()) {
        return addEntry(QStringLiteral("Check for Updates…"),
                        [this] { actions_.checkForUpdate(); });
    }
    QAction* line = addLine();
    line->setText(PACKAGE_MANAGER_UPDATES);
    return line;
}

QAction* StatusMenu::buildEmojiMenu() {
    emojiMenu_ = std::make_unique<QMenu>(QStringLiteral("Status emoji"));
    for (const EmojiChoice& choice : EMOJI_CHOICES) {
        const bool spotify = choice.code == QLatin1String(":spotify:");
        // The workspace's :spotify: is drawn as its logo, beside its name.
        QAction* item =
            emojiMenu_->addAction(spotify ? choice.name : choice.glyph + u' ' + choice.name);
        if (spotify) item->setIcon(QIcon(spotifyLogoImage(17)));
        item->setCheckable(true);
        item->setData(choice.code);
        connect(item, &QAction::triggered, this,
                [this, code = choice.code] { actions_.pickEmoji(code); });
    }
    return menu_->addMenu(emojiMenu_.get());
}

void StatusMenu::menuNeedsUpdate() {
    const bool signedIn = config_.signedIn();
    updateLines(signedIn);
    updatePrivateEntries(signedIn);
    updateWorkspaceLines(signedIn);
    updateSettings(signedIn);
    updateShareMenu(signedIn);
}

// The lines that say what is going on, and the entries that lead on from them.
void StatusMenu::updateLines(bool signedIn) {
    const std::optional<QString> error = errorBeside(state_, config_.paused(), signedIn);
    const QString errorLine = literal(QStringLiteral("⚠️ ") + error.value_or(QString()));
    const QString player = state_.playerName();
    Entries& e = entries_;
    e.nowPlaying->setVisible(signedIn);
    e.nowPlaying->setText(literal(firstLine(state_, config_.paused())));
    e.player->setVisible(signedIn && !player.isEmpty());
    e.player->setText(literal(QStringLiteral("via ") + player));
    e.signIn->setVisible(!signedIn);
    e.signedOutError->setVisible(!signedIn && error);
    e.signedOutError->setText(errorLine);
    e.signedOutSeparator->setVisible(!signedIn);
    e.getSpotify->setVisible(signedIn && state_.spotifyMissing());
    e.addWorkspace->setVisible(signedIn);
    e.error->setVisible(signedIn && error);
    e.error->setText(errorLine);
}

// A line per workspace saying how it fares; for one Slack signed the user out of, an entry
// that signs in to it again. An entry is put in the menu the first time a workspace needs it,
// with its text already set, and stays when the workspace goes, hidden: entries keep their ids,
// and the panel reads the layout anew only when one is added.
void StatusMenu::updateWorkspaceLines(bool signedIn) {
    const QList<WorkspaceLine> lines =
        signedIn ? workspaceLines(config_.workspaces(), state_.workspaceStates())
                 : QList<WorkspaceLine>();
    for (qsizetype i = 0; i < std::max(lines.size(), workspaceEntries_.size()); ++i) {
        const bool added = i == workspaceEntries_.size();
        if (added) workspaceEntries_ += newWorkspaceEntry();
        QAction* entry = workspaceEntries_[i];
        entry->setVisible(i < lines.size());
        if (i < lines.size()) {
            entry->setText(literal(lines[i].text));
            entry->setEnabled(lines[i].signedOut);
        }
        if (added) menu_->insertAction(entries_.addWorkspace, entry);
    }
}

// An entry per artist of the music playing, each keeping its artist private; none while the
// track is kept private already or sharing is paused. Entries are made and kept as the
// workspaces' lines are.
void StatusMenu::updatePrivateEntries(bool signedIn) {
    const std::optional<SpotifyState> track = state_.playingTrack();
    QStringList artists;
    if (signedIn && !config_.paused() && track &&
        !privateArtistOf(track->artists, config_.privateArtists())) {
        artists = track->artists;
    }
    for (qsizetype i = 0; i < std::max(artists.size(), privateEntries_.size()); ++i) {
        const bool added = i == privateEntries_.size();
        if (added) {
            auto* entry = new QAction(menu_.get());
            connect(entry, &QAction::triggered, this,
                    [this, entry] { actions_.keepArtistPrivate(entry->data().toString()); });
            privateEntries_ += entry;
        }
        QAction* entry = privateEntries_[i];
        entry->setVisible(i < artists.size());
        if (i < artists.size()) {
            entry->setText(literal(QStringLiteral("Don't Share ") + artists[i]));
            entry->setData(artists[i]);
        }
        if (added) menu_->insertAction(entries_.signIn, entry);
    }
}

// A workspace's entry, not in the menu yet. Enabled only for a workspace Slack signed the user
// out of, it signs in again, which replaces that workspace's sign-in.
QAction* StatusMenu::newWorkspaceEntry() {
    auto* entry = new QAction(menu_.get());
    connect(entry, &QAction::triggered, this, [this] { actions_.signIn(); });
    return entry;
}

// The settings and the rest of the signed-in layout.
void StatusMenu::updateSettings(bool signedIn) {
    const std::optional<QString> update = state_.updateAvailable();
    Entries& e = entries_;
    for (QAction* entry :
         {e.separator, e.pause, e.workHours, e.emoji, e.login, e.updatesSeparator, e.disconnect}) {
        entry->setVisible(signedIn);
    }
    e.pause->setText(config_.paused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    e.workHours->setText(QStringLiteral("Only during work hours (") +
                         workHoursLabel(config_.workHoursRange(), QDateTime::currentDateTime()) +
                         u')');
    e.workHours->setChecked(config_.workHoursEnabled());
    e.login->setChecked(loginItem_.enabled());
    updateEmojiMenu();
    e.update->setVisible(signedIn && update);
    e.update->setText(literal(QStringLiteral("⬆ Update to ") + update.value_or(QString()) + u'…'));
    e.checkForUpdates->setVisible(
        signedIn && !update && (actions_.updatesOffered() || actions_.updatesFromPackageManager()));
}

// At most one emoji carries the check mark: the one the next status is sent with.
void StatusMenu::updateEmojiMenu() {
    const QString effective = effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable());
    for (QAction* item : emojiMenu_->actions()) item->setChecked(item->data() == effective);
}

// A check box per player that runs, by the name it gives itself; the menu shows when any runs.
void StatusMenu::updateShareMenu(bool signedIn) {
    const QList<SharedPlayer> players = state_.players();
    for (QAction* item : shareMenu_->actions()) {
        item->setVisible(std::any_of(players.cbegin(), players.cend(), [&](const auto& player) {
            return player.choice == item->data();
        }));
    }
    for (const SharedPlayer& player : players) {
        const QList<QAction*> items = shareMenu_->actions();
        const auto found = std::find_if(items.cbegin(), items.cend(), [&](QAction* item) {
            return item->data() == player.choice;
        });
        QAction* item = found != items.cend() ? *found : shareMenu_->addAction(QString());
        if (found == items.cend()) {
            item->setCheckable(true);
            item->setData(player.choice);
            connect(item, &QAction::triggered, this,
                    [this, player](bool checked) { actions_.sharePlayer(player, checked); });
        }
        item->setText(literal(player.identity));
        item->setChecked(player.shared);
    }
    entries_.share->setVisible(signedIn && !players.isEmpty());
}

// An information line: shown greyed out, it does nothing when chosen.
QAction* StatusMenu::addLine() {
    QAction* line = menu_->addAction(QString());
    line->setEnabled(false);
    return line;
}

QAction* StatusMenu::addEntry(const QString& title, std::function<void()> action) {
    QAction* entry = menu_->addAction(title);
    connect(entry, &QAction::triggered, this, [action = std::move(action)] {
        if (action) action();
    });
    return entry;
}
