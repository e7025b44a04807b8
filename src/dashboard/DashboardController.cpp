// The dashboard: one small fixed-size panel. Signed out it offers the sign-in; signed in it
// shows what is mirrored, the workspaces and how each fares, pause, every setting and three
// notes on how the mirroring behaves.

#include "dashboard/DashboardController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "dashboard/Widgets.h"
#include "platform/Bundle.h"
#include "state/Constants.h"
#include "sync/EmojiChoice.h"
#include "sync/WorkHours.h"
#include "sync/WorkspaceLines.h"
#include "ui/Contrast.h"
#include "ui/MarkDrawing.h"
#include "ui/PlatformWords.h"
#include "ui/SpotifyLogo.h"

namespace {

const QString SPOTIFY_EMOJI = QStringLiteral(":spotify:");
const QString EMOJI_HELP = QStringLiteral(
    "Your workspace doesn't have a :spotify: emoji yet. This button saves the Spotify logo to "
    "your Downloads and opens Slack's emoji page — click “Add Custom Emoji”, upload the file, "
    "and name it exactly “spotify”.");
const QString EMOJI_ADDED =
    QStringLiteral("✓ :spotify: added — your status will use it from the next sync.");

constexpr int MIN_CONTENT_WIDTH = 460;
// What the window manager's title bar and borders take of the screen's height, about.
constexpr int WINDOW_FRAME_ALLOWANCE = 64;
// The least contrast of text, and of a control, against what is behind it (WCAG 2.1 AA).
constexpr double TEXT_CONTRAST = 4.5;
constexpr double CONTROL_CONTRAST = 3.0;
constexpr int NOTE_WIDTH = 400;

// The three notes on how mirroring behaves, as bullet paragraphs whose wrapped lines align
// under the text past the bullet. The numbers follow the timing constants.
QString notesHtml(const QFont& font) {
    const QString bullet = QStringLiteral("•\u2002");
    const int hang = QFontMetrics(font).horizontalAdvance(bullet);
    const QStringList notes = {
        QStringLiteral("Your own status always wins: set one (like “In a meeting”) and "
                       "Trackglint won't touch it. Your music reappears after you clear it."),
        platformWords().pauseNote,
        platformWords().asleepNote,
    };
    QString html;
    for (qsizetype i = 0; i < notes.size(); ++i) {
        html += QStringLiteral(
                    "<p style=\"margin-left:%1px; text-indent:-%1px; "
                    "margin-top:0; margin-bottom:%2px; line-height:110%;\">%3</p>")
                    .arg(hang)
                    .arg(i + 1 < notes.size() ? 6 : 0)
                    .arg((bullet + notes[i]).toHtmlEscaped());
    }
    return html;
}

// Hours and minutes as the user's locale writes them; some locales' short format has seconds
// too, which a work-hours window has no use for.
QString timeFormat() {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    for (const char* seconds : {":ss", ".ss", ":s", ".s"}) format.remove(QLatin1String(seconds));
    return format;
}

qint64 minutesOf(const QTime& time) {
    return time.hour() * 60 + time.minute();
}

// The text of a pop-up's selected item; none without a selection or a text.
std::optional<QString> selectedText(const QComboBox* popup) {
    const QVariant chosen = popup->currentData();
    if (popup->currentIndex() < 0 || chosen.typeId() != QMetaType::QString) return std::nullopt;
    return chosen.toString();
}

}  // namespace

DashboardController::DashboardController(Config& config, AppState& state, UserActions& actions,
                                         Prompts& prompts, platform::LoginItem& loginItem,
                                         QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      actions_(actions),
      prompts_(prompts),
      loginItem_(loginItem),
      window_(std::make_unique<QDialog>(
          nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint)) {
    window_->setWindowTitle(QStringLiteral("Trackglint"));
    // The header's colours follow the appearance at this moment and keep it.
    dark_ = window_->palette().color(QPalette::Window).lightness() < 128;
    // Dimmed text still reads: 4.5:1 against the window at least.
    QPalette palette = window_->palette();
    palette.setColor(QPalette::PlaceholderText,
                     textColour(palette.color(QPalette::PlaceholderText)));
    window_->setPalette(palette);
    buildUI();
    connect(&state_, &AppState::tickNotification, this, &DashboardController::refresh);
    connect(&config_, &Config::changed, this, &DashboardController::refresh);
    refresh();
}

DashboardController::~DashboardController() = default;

QColor DashboardController::textColour(const QColor& wanted) const {
    return readableOn(wanted, window_->palette().color(QPalette::Window), TEXT_CONTRAST);
}

QWidget* DashboardController::window() {
    return window_.get();
}

void DashboardController::buildUI() {
    connectedBox_ = buildConnectedBox();
    signInBox_ = buildSignInBox();

    auto* main = new QVBoxLayout;
    main->setContentsMargins(24, 20, 24, 20);
    main->setSpacing(16);
    main->addWidget(buildHeader(), 0, Qt::AlignLeft);
    main->addWidget(buildErrorLine());
    main->addWidget(connectedBox_);
    main->addWidget(signInBox_);

    // The version sits in the bottom trailing corner, over the column's bottom margin.
    content_ = new QWidget;
    auto* grid = new QGridLayout(content_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addLayout(main, 0, 0);
    grid->addWidget(buildVersion(), 0, 0, Qt::AlignRight | Qt::AlignBottom);

    // On a screen too small for all of it (a laptop at twice the scale), the window scrolls.
    scroller_ = new QScrollArea;
    scroller_->setFocusPolicy(Qt::NoFocus);  // the keyboard goes to the controls inside
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidgetResizable(true);
    scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setWidget(content_);
    auto* frame = new QVBoxLayout(window_.get());
    frame->setContentsMargins(0, 0, 0, 0);
    frame->addWidget(scroller_);
}

QWidget* DashboardController::buildHeader() {
    auto* header = new QLabel;
    const MarkRuns runs = markRuns(MenuMark::Wordmark);
    const QColor text = textColour(dark_ ? QColor(233, 233, 238) : QColor(23, 23, 27));
    const QColor green = textColour(dark_ ? QColor(47, 208, 113) : QColor(29, 185, 86));
    header->setTextFormat(Qt::RichText);
    header->setText(QStringLiteral("<span style=\"color:%1\">%2</span>"
                                   "<span style=\"color:%3\">%4</span>")
                        .arg(text.name(), runs.first.toHtmlEscaped(), green.name(),
                             runs.second.toHtmlEscaped()));
    header->setFont(markFont(scaled(24)));
    header->setAccessibleName(QStringLiteral("Trackglint"));
    return header;
}

QWidget* DashboardController::buildErrorLine() {
    errorLine_ = named(new WrappingLabel(NOTE_WIDTH), "errorLine");
    errorLine_->setTextFormat(Qt::PlainText);
    errorLine_->setFont(systemFont(12));
    QPalette red = errorLine_->palette();
    red.setColor(QPalette::WindowText, textColour(QColor(255, 59, 48)));
    errorLine_->setPalette(red);
    // At most two lines.
    errorLine_->setMaximumHeight(2 * errorLine_->fontMetrics().lineSpacing());
    return errorLine_;
}

QWidget* DashboardController::buildVersion() {
    auto* version = named(
        new QLabel(QStringLiteral("v") + platform::shortVersion().value_or(QStringLiteral("?"))),
        "version");
    version->setTextFormat(Qt::PlainText);
    version->setFont(monospacedFont(10, QFont::Normal));
    QPalette dim = version->palette();
    dim.setColor(QPalette::WindowText, textColour(dim.color(QPalette::PlaceholderText)));
    version->setPalette(dim);
    version->setContentsMargins(0, 0, 14, 12);
    return version;
}

QWidget* DashboardController::buildConnectedBox() {
    auto* box = named(new QWidget, "connectedBox");
    QVBoxLayout* layout = column(box, 12);
    addNowPlaying(layout);
    layout->addWidget(separator());
    addEmojiRows(layout);
    addMarkRow(layout);
    alignRowTitles();
    addWorkHoursRow(layout);

    loginCheck_ =
        named(new QCheckBox(QStringLiteral("Start automatically at login")), "loginCheck");
    connect(loginCheck_, &QCheckBox::clicked, &actions_, &UserActions::toggleLoginItem);
    layout->addWidget(loginCheck_);
    layout->addWidget(separator());

    auto* notes = named(new WrappingLabel(NOTE_WIDTH), "notes");
    notes->setFont(systemFont(11.5));
    notes->setTextFormat(Qt::RichText);
    notes->setText(notesHtml(notes->font()));
    layout->addWidget(secondaryLabel(notes));
    if (actions_.updatesFromPackageManager()) {
        auto* updates = named(new QLabel(PACKAGE_MANAGER_UPDATES), "packageManagerUpdates");
        updates->setTextFormat(Qt::PlainText);
        updates->setFont(systemFont(11.5));
        layout->addWidget(secondaryLabel(updates));
    }

    disconnectButton_ = named(button(QStringLiteral("Disconnect Slack…")), "disconnectButton");
    connect(disconnectButton_, &QPushButton::clicked, this, &DashboardController::disconnect);
    layout->addWidget(disconnectButton_, 0, Qt::AlignLeft);
    return box;
}

void DashboardController::addNowPlaying(QVBoxLayout* layout) {
    nowPlaying_ = named(new ElidedLabel, "nowPlaying");
    nowPlaying_->setFont(systemFont(15, QFont::Medium));
    layout->addWidget(nowPlaying_);
    addWorkspaceList(layout);

    pauseButton_ = named(button(QStringLiteral("Pause")), "pauseButton");
    connect(pauseButton_, &QPushButton::clicked, &actions_, &UserActions::togglePause);
    addWorkspaceButton_ =
        named(button(QStringLiteral("Add Another Workspace…")), "addWorkspaceButton");
    connect(addWorkspaceButton_, &QPushButton::clicked, &actions_, &UserActions::signIn);
    QHBoxLayout* buttons = row();
    buttons->addWidget(pauseButton_);
    buttons->addWidget(addWorkspaceButton_);
    buttons->addStretch();
    layout->addLayout(buttons);
}

// The workspaces signed in to, a row each; the rows are made by refreshWorkspaces.
void DashboardController::addWorkspaceList(QVBoxLayout* layout) {
    auto* list = named(new QWidget, "workspaceList");
    workspaceList_ = column(list, 4);
    layout->addWidget(list);
}

// One more row at the end of the list. Its Remove button forgets the workspace the row shows
// when clicked, without asking: the others stay, and signing in again brings it back. For a
// workspace Slack signed the user out of, a button beside it signs in to it again.
void DashboardController::addWorkspaceRow() {
    const qsizetype index = workspaceRows_.size();
    auto* widget = named(new QWidget, "workspaceRow");
    QHBoxLayout* layout = row();
    widget->setLayout(layout);
    auto* line = named(new ElidedLabel, "workspaceLine");
    line->setFont(systemFont(12));
    layout->addWidget(secondaryLabel(line), 1);
    auto* signInAgain = named(button(QStringLiteral("Sign In Again…")), "signInAgain");
    signInAgain->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(signInAgain, &QPushButton::clicked, &actions_, &UserActions::signIn);
    layout->addWidget(signInAgain);
    auto* remove = named(button(QStringLiteral("Remove")), "removeWorkspace");
    remove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(remove, &QPushButton::clicked, this,
            [this, index] { actions_.removeWorkspace(workspaceKeys_.value(index)); });
    layout->addWidget(remove);
    workspaceList_->addWidget(widget);
    workspaceRows_ += {widget, line, signInAgain, remove};
}

void DashboardController::addEmojiRows(QVBoxLayout* layout) {
    emojiPopup_ = named(new QComboBox, "emojiPopup");
    emojiPopup_->setIconSize(QSize(17, 17));
    for (const EmojiChoice& choice : EMOJI_CHOICES) {
        if (choice.code == SPOTIFY_EMOJI) {
            const QPixmap logo = spotifyLogoImage(17);
            emojiPopup_->addItem(logo.isNull() ? QIcon() : QIcon(logo), choice.name, choice.code);
        } else {
            emojiPopup_->addItem(choice.glyph + u' ' + choice.name, choice.code);
        }
    }
    fitItems(emojiPopup_);
    connect(emojiPopup_, &QComboBox::activated, this, &DashboardController::pickEmoji);
    emojiTitle_ = new QLabel(QStringLiteral("Status emoji:"));
    emojiTitle_->setBuddy(emojiPopup_);
    emojiPopup_->setAccessibleName(QStringLiteral("Status emoji"));
    QHBoxLayout* emojiRow = row();
    emojiRow->addWidget(emojiTitle_);
    emojiRow->addWidget(emojiPopup_);
    emojiRow->addStretch();
    layout->addLayout(emojiRow);

    emojiHelpRow_ = named(new QWidget, "emojiHelpRow");
    QVBoxLayout* help = column(emojiHelpRow_, 8);
    emojiHelpLabel_ = named(new WrappingLabel(NOTE_WIDTH), "emojiHelpLabel");
    emojiHelpLabel_->setTextFormat(Qt::PlainText);
    emojiHelpLabel_->setFont(systemFont(11.5));
    emojiHelpLabel_->setText(EMOJI_HELP);
    QPalette success = emojiHelpLabel_->palette();
    success.setColor(QPalette::WindowText, textColour(QColor(40, 167, 69)));
    emojiHelpLabel_->setPalette(success);
    emojiHelpButton_ =
        named(button(QStringLiteral("Add :spotify: to your workspace…")), "emojiHelpButton");
    connect(emojiHelpButton_, &QPushButton::clicked, &actions_, &UserActions::addSpotifyEmoji);
    help->addWidget(emojiHelpLabel_);
    help->addWidget(emojiHelpButton_, 0, Qt::AlignLeft);
    layout->addWidget(emojiHelpRow_);
}

void DashboardController::addMarkRow(QVBoxLayout* layout) {
    menuMarkPopup_ = named(new QComboBox, "menuMarkPopup");
    menuMarkPopup_->setFont(monospacedFont(12, QFont::DemiBold));
    for (const MenuMark mark : ALL_MENU_MARKS) menuMarkPopup_->addItem(label(mark), rawValue(mark));
    fitItems(menuMarkPopup_);
    connect(menuMarkPopup_, &QComboBox::activated, this, &DashboardController::pickMenuMark);
    markTitle_ = new QLabel(platformWords().markRowTitle);
    markTitle_->setBuddy(menuMarkPopup_);
    menuMarkPopup_->setAccessibleName(platformWords().markRowTitle.chopped(1));
    QHBoxLayout* markRow = row();
    markRow->addWidget(markTitle_);
    markRow->addWidget(menuMarkPopup_);
    markRow->addStretch();
    layout->addLayout(markRow);
}

// The two pop-ups start at the same place, as in a form.
void DashboardController::alignRowTitles() {
    const int width = std::max(emojiTitle_->sizeHint().width(), markTitle_->sizeHint().width());
    emojiTitle_->setMinimumWidth(width);
    markTitle_->setMinimumWidth(width);
}

void DashboardController::addWorkHoursRow(QVBoxLayout* layout) {
    workHoursCheck_ =
        named(new QCheckBox(QStringLiteral("Only during work hours")), "workHoursCheck");
    connect(workHoursCheck_, &QCheckBox::clicked, this, &DashboardController::saveWorkHours);
    startPicker_ = named(new QTimeEdit, "startPicker");
    endPicker_ = named(new QTimeEdit, "endPicker");
    startPicker_->setAccessibleName(QStringLiteral("Work hours start"));
    endPicker_->setAccessibleName(QStringLiteral("Work hours end"));
    QHBoxLayout* hoursRow = row(6);
    hoursRow->addWidget(workHoursCheck_);
    for (QTimeEdit* picker : {startPicker_, endPicker_}) {
        picker->setDisplayFormat(timeFormat());
        connect(picker, &QTimeEdit::timeChanged, this, &DashboardController::saveWorkHours);
        hoursRow->addWidget(picker);
        if (picker == startPicker_) hoursRow->addWidget(new QLabel(QStringLiteral("–")));
    }
    hoursRow->addStretch();
    layout->addLayout(hoursRow);
}

QWidget* DashboardController::buildSignInBox() {
    auto* box = named(new QWidget, "signInBox");
    QVBoxLayout* layout = column(box, 12);

    auto* intro = new WrappingLabel(NOTE_WIDTH);
    intro->setText(platformWords().signInIntro);
    layout->addWidget(secondaryLabel(intro));

    signInButton_ = named(button(QStringLiteral("Sign in with Slack")), "signInButton");
    // The default button of the window: Return signs in.
    signInButton_->setAutoDefault(true);
    signInButton_->setDefault(true);
    // The one thing to do here, so it takes the accent colour, standing out from the window
    // (3:1) with its title readable on it (4.5:1).
    QPalette accent = signInButton_->palette();
    const QColor face = readableOn(accent.color(QPalette::Highlight),
                                   accent.color(QPalette::Window), CONTROL_CONTRAST);
    accent.setColor(QPalette::Button, face);
    accent.setColor(QPalette::ButtonText,
                    readableOn(accent.color(QPalette::HighlightedText), face, TEXT_CONTRAST));
    signInButton_->setPalette(accent);
    connect(signInButton_, &QPushButton::clicked, &actions_, &UserActions::signIn);
    layout->addWidget(signInButton_, 0, Qt::AlignLeft);
    return box;
}

void DashboardController::refresh() {
    const bool signedIn = config_.signedIn();
    connectedBox_->setVisible(signedIn);
    signInBox_->setVisible(!signedIn);

    const bool paused = config_.paused();
    nowPlaying_->setText(paused ? QStringLiteral("⏸ paused") : state_.nowPlayingLabel());
    refreshWorkspaces();

    std::optional<QString> error = state_.lastError();
    if (error && signedIn && state_.lineSays(*error)) error.reset();  // said in the line above
    errorLine_->setText(error.value_or(QString()));
    errorLine_->setVisible(error.has_value());

    pauseButton_->setText(paused ? QStringLiteral("▶ Resume") : QStringLiteral("⏸ Pause"));

    const int emojiIndex = emojiPopup_->findData(
        effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable()));
    if (emojiIndex >= 0) emojiPopup_->setCurrentIndex(emojiIndex);
    refreshEmojiHelp();
    refreshMenuMark();
    refreshWorkHours();
    loginCheck_->setChecked(loginItem_.enabled());

    fitWindow();
}

// What the window's size follows: which parts show and the texts that wrap or set a width.
// Steps refresh the window every few seconds and mostly change none of it.
QStringList DashboardController::sizeInputs() const {
    QStringList inputs{errorLine_->text(), emojiHelpLabel_->text(), pauseButton_->text(),
                       QString::number(workspaceKeys_.size())};
    const QList<const QWidget*> parts = {window_.get(), connectedBox_, signInBox_,
                                         errorLine_,    emojiHelpRow_, emojiHelpButton_};
    for (const QWidget* part : parts) {
        inputs += part->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown");
    }
    return inputs;
}

void DashboardController::fitWindow() {
    // Fitting lays every wrapping text out anew, and repaints it: do it only when the size
    // can have changed.
    QStringList inputs = sizeInputs();
    if (inputs == fittedFor_) return;
    fittedFor_ = std::move(inputs);

    // Nested layouts settle by themselves only in a shown window, and only later, from the
    // event loop. Settle them now, innermost first (reversed pre-order), so the size taken
    // below is that of what is visible after this refresh.
    const QList<QWidget*> widgets = window_->findChildren<QWidget*>();
    for (auto it = widgets.crbegin(); it != widgets.crend(); ++it) {
        if (QLayout* layout = (*it)->layout()) {
            layout->invalidate();
            layout->activate();
        }
    }
    window_->layout()->invalidate();
    window_->layout()->activate();

    // The user cannot resize the window; it is exactly as big as what it shows, or as the
    // screen allows, and then scrolls.
    int width = std::max(MIN_CONTENT_WIDTH, content_->sizeHint().width());
    int height = content_->hasHeightForWidth() ? content_->heightForWidth(width)
                                               : content_->sizeHint().height();
    const int room = window_->screen()->availableGeometry().height() - WINDOW_FRAME_ALLOWANCE;
    if (height > room) {
        height = room;
        width += scroller_->verticalScrollBar()->sizeHint().width();
    }
    window_->setFixedSize(width, height);
}

void DashboardController::refreshWorkspaces() {
    const QList<Workspace> workspaces = config_.workspaces();
    const QList<WorkspaceLine> lines = workspaceLines(workspaces, state_.workspaceStates());
    if (workspaceRows_.size() < lines.size()) {
        while (workspaceRows_.size() < lines.size()) addWorkspaceRow();
        orderTabsAsLaidOut(content_);  // the new rows' buttons come before the ones below
    }
    workspaceKeys_.clear();
    for (qsizetype i = 0; i < workspaceRows_.size(); ++i) {
        const WorkspaceRow& row = workspaceRows_[i];
        row.row->setVisible(i < lines.size());
        if (i >= lines.size()) continue;
        row.line->setText(lines[i].text);
        row.signInAgain->setVisible(lines[i].signedOut);
        row.remove->setAccessibleName(QStringLiteral("Remove ") + workspaces[i].title());
        row.signInAgain->setAccessibleName(QStringLiteral("Sign In Again to ") +
                                           workspaces[i].title());
        workspaceKeys_ += lines[i].key;
    }
}

void DashboardController::refreshEmojiHelp() {
    const std::optional<bool> available = state_.spotifyEmojiAvailable();
    if (config_.chosenEmoji() == SPOTIFY_EMOJI && available == false) {
        emojiHelpWasShown_ = true;
        emojiHelpLabel_->setText(EMOJI_HELP);
        emojiHelpLabel_->setForegroundRole(QPalette::PlaceholderText);
        emojiHelpButton_->setVisible(true);
        emojiHelpRow_->setVisible(true);
    } else if (emojiHelpWasShown_ && available == true) {
        emojiHelpLabel_->setText(EMOJI_ADDED);
        emojiHelpLabel_->setForegroundRole(QPalette::WindowText);
        emojiHelpButton_->setVisible(false);
        emojiHelpRow_->setVisible(true);
    } else {
        emojiHelpRow_->setVisible(false);
    }
}

// A stored text that names no mark leaves the selection as it is.
void DashboardController::refreshMenuMark() {
    if (const std::optional<MenuMark> mark = config_.menuMark()) {
        menuMarkPopup_->setCurrentIndex(menuMarkPopup_->findData(rawValue(*mark)));
    }
}

void DashboardController::refreshWorkHours() {
    const bool enabled = config_.workHoursEnabled();
    const MinuteRange range = config_.workHoursRange();
    const QDateTime now = QDateTime::currentDateTime();
    workHoursCheck_->setChecked(enabled);
    for (const auto& [picker, minutes] :
         {std::pair{startPicker_, range.start}, std::pair{endPicker_, range.end}}) {
        const QTime time = timeOfDay(minutes, now);
        // Setting a picker to the time it already shows would disturb an edit in progress.
        if (picker->time() != time) {
            const QSignalBlocker quiet(picker);
            picker->setTime(time);
        }
        picker->setEnabled(enabled);
    }
}

void DashboardController::pickEmoji() {
    actions_.pickEmoji(selectedText(emojiPopup_).value_or(DEFAULT_EMOJI));
}

void DashboardController::pickMenuMark() {
    const std::optional<QString> chosen = selectedText(menuMarkPopup_);
    actions_.pickMenuMark(menuMarkFromRaw(chosen.value_or(QString())).value_or(MenuMark::Wordmark));
}

void DashboardController::saveWorkHours() {
    actions_.saveWorkHours(workHoursCheck_->isChecked(),
                           {minutesOf(startPicker_->time()), minutesOf(endPicker_->time())});
}

void DashboardController::disconnect() {
    if (prompts_.confirmDisconnect()) actions_.disconnect();
    refresh();
}
