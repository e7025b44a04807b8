#include "menubar/StatusMenu.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPalette>

#include "platform/ColorScheme.h"
#include "platform/SpotifyBridge.h"
#include "state/Constants.h"
#include "sync/EmojiChoice.h"
#include "sync/WorkHours.h"
#include "ui/MarkDrawing.h"
#include "ui/SpotifyLogo.h"

namespace {

// The slot sizes panels ask for; each gets its own drawing rather than a scaled one.
constexpr int ICON_SIDES[] = {16, 22, 24, 32, 48, 64};

// Text shown as written: Qt would take "&" in an action's text for a mnemonic marker.
QString literal(QString text) {
    return text.replace(u'&', QStringLiteral("&&"));
}

// Whether the panel is most likely dark: GNOME's top bar is whatever the theme; elsewhere the
// panel follows the desktop's colour-scheme preference, or, without one, the theme's window
// colour. The mark's colours read on either, should the guess be wrong.
bool panelLikelyDark() {
    const bool gnome = qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                           .contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
    std::optional<bool> dark = gnome ? std::optional(true) : platform::desktopPrefersDark();
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
      menu_(std::make_unique<QMenu>()) {
    connect(menu_.get(), &QMenu::aboutToShow, this, &StatusMenu::menuNeedsUpdate);
    trayIcon_.setContextMenu(menu_.get());
    connect(&trayIcon_, &QSystemTrayIcon::activated, this, [this](auto reason) {
        if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
    connect(&state_, &AppState::tickNotification, this, &StatusMenu::updateToolTip);
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
    const QString line = config_.paused() ? QStringLiteral("⏸ paused") : state_.nowPlayingLabel();
    const QString toolTip = QStringLiteral("Trackglint\n") + line;
    // Runs after every step: the panel is told only of a text that changed.
    if (trayIcon_.toolTip() != toolTip) trayIcon_.setToolTip(toolTip);
}

void StatusMenu::menuNeedsUpdate() {
    emojiMenu_.reset();
    menu_->clear();
    const bool signedIn = config_.slackToken().has_value();
    const std::optional<QString> error = state_.lastError();
    if (!signedIn) {
        addEntry(QStringLiteral("Sign in with Slack…"), [this] { actions_.signIn(); });
        if (error) addLine(QStringLiteral("⚠️ ") + *error);
        menu_->addSeparator();
        addEntry(QStringLiteral("Open Trackglint…"), program_.openDashboard);
        addEntry(QStringLiteral("Quit Trackglint"), program_.quit);
        return;
    }
    addSignedInEntries();
}

void StatusMenu::addSignedInEntries() {
    const bool paused = config_.paused();
    addLine(paused ? QStringLiteral("⏸ paused") : state_.nowPlayingLabel());
    if (!platform::spotifyInstalled()) {
        addEntry(QStringLiteral("Get Spotify…"), [this] { actions_.getSpotify(); });
    }
    addEntry(QStringLiteral("Open Trackglint…"), program_.openDashboard);
    addLine(QStringLiteral("Signed in as ") + config_.slackName());
    if (const std::optional<QString> error = state_.lastError()) {
        addLine(QStringLiteral("⚠️ ") + *error);
    }
    menu_->addSeparator();
    addEntry(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"),
             [this] { actions_.togglePause(); });
    QAction* hours =
        addEntry(QStringLiteral("Only during work hours (") +
                     workHoursLabel(config_.workHoursRange(), QDateTime::currentDateTime()) + u')',
                 [this] { actions_.toggleWorkHours(); });
    hours->setCheckable(true);
    hours->setChecked(config_.workHoursEnabled());
    addEmojiMenu();
    QAction* login =
        addEntry(QStringLiteral("Start at login"), [this] { actions_.toggleLoginItem(); });
    login->setCheckable(true);
    login->setChecked(loginItem_.enabled());
    menu_->addSeparator();
    if (const std::optional<QString> version = state_.updateAvailable()) {
        addEntry(QStringLiteral("⬆ Update to ") + *version + u'…',
                 [this] { actions_.updateNow(); });
    } else if (actions_.updatesOffered()) {
        addEntry(QStringLiteral("Check for Updates…"), [this] { actions_.checkForUpdate(); });
    }
    addEntry(QStringLiteral("Disconnect Slack…"), [this] {
        if (prompts_.confirmDisconnect()) actions_.disconnect();
    });
    addEntry(QStringLiteral("Quit Trackglint"), program_.quit);
}

void StatusMenu::addEmojiMenu() {
    emojiMenu_ = std::make_unique<QMenu>(QStringLiteral("Status emoji"));
    QMenu* emojis = emojiMenu_.get();
    menu_->addMenu(emojis);
    const QString effective = effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable());
    for (const EmojiChoice& choice : EMOJI_CHOICES) {
        const bool spotify = choice.code == QLatin1String(":spotify:");
        QAction* item = emojis->addAction(spotify ? QString() : choice.glyph);
        if (spotify) item->setIcon(QIcon(spotifyLogoImage(17)));
        item->setCheckable(true);
        item->setChecked(choice.code == effective);
        item->setData(choice.code);
        connect(item, &QAction::triggered, this,
                [this, code = choice.code] { actions_.pickEmoji(code); });
    }
}

QAction* StatusMenu::addLine(const QString& text) {
    QAction* line = menu_->addAction(literal(text));
    line->setEnabled(false);
    return line;
}

QAction* StatusMenu::addEntry(const QString& text, std::function<void()> action) {
    QAction* entry = menu_->addAction(literal(text));
    connect(entry, &QAction::triggered, this, [action = std::move(action)] {
        if (action) action();
    });
    return entry;
}
