#include "dashboard/Choices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "dashboard/FormatRow.h"
#include "dashboard/PrivateArtistRows.h"
#include "dashboard/Widgets.h"
#include "state/Constants.h"
#include "sync/EmojiChoice.h"
#include "sync/WorkHours.h"
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

Choices::Choices(const Config& config, const AppState& state, UserActions& actions,
                 const platform::LoginItem& loginItem, const QColor& background, QWidget* tabRoot)
    : config_(config), state_(state), actions_(actions), loginItem_(loginItem) {
    QVBoxLayout* layout = column(this, 12);
    addEmojiRows(layout, background);
    formatRow_ = new FormatRow(config_, state_, actions_, background);
    layout->addWidget(formatRow_);
    addMarkRow(layout);
    alignRowTitles();
    addShareRow(layout);
    addWorkHoursRow(layout);

    loginCheck_ =
        named(new QCheckBox(QStringLiteral("Start automatically at login")), "loginCheck");
    connect(loginCheck_, &QCheckBox::clicked, &actions_, &UserActions::toggleLoginItem);
    layout->addWidget(loginCheck_);
    privateArtists_ = new PrivateArtistRows(config_, actions_, tabRoot);
    layout->addWidget(privateArtists_);
}

void Choices::addEmojiRows(QVBoxLayout* layout, const QColor& background) {
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
    connect(emojiPopup_, &QComboBox::activated, this, &Choices::pickEmoji);
    emojiTitle_ = new QLabel(QStringLiteral("Status emoji:"));
    emojiTitle_->setBuddy(emojiPopup_);
    emojiPopup_->setAccessibleName(QStringLiteral("Status emoji"));
    layout->addLayout(leadingRow({emojiTitle_, emojiPopup_}));

    emojiHelpRow_ = named(new QWidget, "emojiHelpRow");
    QVBoxLayout* help = column(emojiHelpRow_, 8);
    emojiHelpLabel_ = named(new WrappingLabel(NOTE_WIDTH), "emojiHelpLabel");
    emojiHelpLabel_->setTextFormat(Qt::PlainText);
    emojiHelpLabel_->setFont(systemFont(11.5));
    emojiHelpLabel_->setText(EMOJI_HELP);
    QPalette success = emojiHelpLabel_->palette();
    success.setColor(QPalette::WindowText,
                     readableOn(QColor(40, 167, 69), background, TEXT_CONTRAST));
    emojiHelpLabel_->setPalette(success);
    emojiHelpButton_ =
        named(button(QStringLiteral("Add :spotify: to your workspace…")), "emojiHelpButton");
    connect(emojiHelpButton_, &QPushButton::clicked, &actions_, &UserActions::addSpotifyEmoji);
    help->addWidget(emojiHelpLabel_);
    help->addWidget(emojiHelpButton_, 0, Qt::AlignLeft);
    layout->addWidget(emojiHelpRow_);
}

void Choices::addMarkRow(QVBoxLayout* layout) {
    menuMarkPopup_ = named(new QComboBox, "menuMarkPopup");
    menuMarkPopup_->setFont(monospacedFont(12, QFont::DemiBold));
    for (const MenuMark mark : ALL_MENU_MARKS) menuMarkPopup_->addItem(label(mark), rawValue(mark));
    fitItems(menuMarkPopup_);
    connect(menuMarkPopup_, &QComboBox::activated, this, &Choices::pickMenuMark);
    markTitle_ = new QLabel(platformWords().markRowTitle);
    markTitle_->setBuddy(menuMarkPopup_);
    menuMarkPopup_->setAccessibleName(platformWords().markRowTitle.chopped(1));
    layout->addLayout(leadingRow({markTitle_, menuMarkPopup_}));
}

// The pop-ups and the format's field start at the same place, as in a form.
void Choices::alignRowTitles() {
    const QList<QLabel*> titles{emojiTitle_, formatRow_->title(), markTitle_};
    int width = 0;
    for (const QLabel* title : titles) width = std::max(width, title->sizeHint().width());
    for (QLabel* title : titles) title->setMinimumWidth(width);
}

void Choices::addShareRow(QVBoxLayout* layout) {
    shareRow_ = named(new QWidget, "shareRow");
    QHBoxLayout* line = row();
    line->setContentsMargins(0, 0, 0, 0);
    auto* title = new QLabel(QStringLiteral("Share from:"));
    line->addWidget(title, 0, Qt::AlignTop);
    playerChecks_ = new QVBoxLayout;
    playerChecks_->setSpacing(4);
    line->addLayout(playerChecks_);
    line->addStretch();
    shareRow_->setLayout(line);
    layout->addWidget(shareRow_);
}

void Choices::addWorkHoursRow(QVBoxLayout* layout) {
    workHoursCheck_ =
        named(new QCheckBox(QStringLiteral("Only during work hours")), "workHoursCheck");
    connect(workHoursCheck_, &QCheckBox::clicked, this, &Choices::saveWorkHours);
    startPicker_ = named(new QTimeEdit, "startPicker");
    endPicker_ = named(new QTimeEdit, "endPicker");
    startPicker_->setAccessibleName(QStringLiteral("Work hours start"));
    endPicker_->setAccessibleName(QStringLiteral("Work hours end"));
    QHBoxLayout* hoursRow = row(6);
    hoursRow->addWidget(workHoursCheck_);
    for (QTimeEdit* picker : {startPicker_, endPicker_}) {
        picker->setDisplayFormat(timeFormat());
        connect(picker, &QTimeEdit::timeChanged, this, &Choices::saveWorkHours);
        hoursRow->addWidget(picker);
        if (picker == startPicker_) hoursRow->addWidget(new QLabel(QStringLiteral("–")));
    }
    hoursRow->addStretch();
    layout->addLayout(hoursRow);
}

void Choices::refresh() {
    const int emojiIndex = emojiPopup_->findData(
        effectiveEmoji(config_.chosenEmoji(), state_.spotifyEmojiAvailable()));
    if (emojiIndex >= 0) emojiPopup_->setCurrentIndex(emojiIndex);
    refreshEmojiHelp();
    formatRow_->refresh();
    refreshMenuMark();
    refreshPlayers();
    refreshWorkHours();
    loginCheck_->setChecked(loginItem_.enabled());
    privateArtists_->refresh();
}

QStringList Choices::sizeInputs() const {
    QStringList inputs{emojiHelpLabel_->text(), QString::number(privateArtists_->count())};
    inputs += formatRow_->sizeInputs();
    for (const SharedPlayer& player : state_.players()) inputs += player.identity;
    const QList<const QWidget*> helps = {emojiHelpRow_, emojiHelpButton_};
    for (const QWidget* help : helps) {
        inputs += help->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown");
    }
    return inputs;
}

void Choices::refreshEmojiHelp() {
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

// A check box per player that runs; the row shows when any runs.
void Choices::refreshPlayers() {
    const QList<SharedPlayer> players = state_.players();
    const QList<QCheckBox*> checks = shareRow_->findChildren<QCheckBox*>();
    for (QCheckBox* check : checks) {
        check->setVisible(std::any_of(players.cbegin(), players.cend(), [&](const auto& player) {
            return player.choice == check->property("choice");
        }));
    }
    for (const SharedPlayer& player : players) {
        const auto found = std::find_if(checks.cbegin(), checks.cend(), [&](QCheckBox* check) {
            return check->property("choice") == player.choice;
        });
        QCheckBox* check = found != checks.cend() ? *found : new QCheckBox;
        if (found == checks.cend()) {
            check->setProperty("choice", player.choice);
            connect(check, &QCheckBox::clicked, this,
                    [this, player](bool checked) { actions_.sharePlayer(player, checked); });
            playerChecks_->addWidget(check);
        }
        check->setText(QString(player.identity).replace(u'&', QStringLiteral("&&")));
        check->setChecked(player.shared);
        check->setVisible(true);
    }
    shareRow_->setVisible(!players.isEmpty());
}

// A stored text that names no mark leaves the selection as it is.
void Choices::refreshMenuMark() {
    if (const std::optional<MenuMark> mark = config_.menuMark()) {
        menuMarkPopup_->setCurrentIndex(menuMarkPopup_->findData(rawValue(*mark)));
    }
}

void Choices::refreshWorkHours() {
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

void Choices::pickEmoji() {
    actions_.pickEmoji(selectedText(emojiPopup_).value_or(DEFAULT_EMOJI));
}

void Choices::pickMenuMark() {
    const std::optional<QString> chosen = selectedText(menuMarkPopup_);
    actions_.pickMenuMark(menuMarkFromRaw(chosen.value_or(QString())).value_or(MenuMark::Wordmark));
}

void Choices::saveWorkHours() {
    actions_.saveWorkHours(workHoursCheck_->isChecked(),
                           {minutesOf(startPicker_->time()), minutesOf(endPicker_->time())});
}
