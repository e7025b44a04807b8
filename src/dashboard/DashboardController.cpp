// The dashboard: one small fixed-size panel. Signed out it offers the sign-in; signed in it
// shows what is mirrored, the account, pause, every setting and three notes on how the
// mirroring behaves.

#include "dashboard/DashboardController.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QJsonObject>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <algorithm>

#include "main/Constants.h"
#include "maintenance/EmojiSetup.h"
#include "maintenance/LoginItem.h"
#include "menubar/MenuMark.h"
#include "menubar/SpotifyLogo.h"
#include "platform/Bundle.h"
#include "sync/WorkHours.h"

namespace {

const QString SPOTIFY_EMOJI = QStringLiteral(":spotify:");
const QString EMOJI_HELP = QStringLiteral(
    "Your workspace doesn't have a :spotify: emoji yet. This button saves the Spotify logo to "
    "your Downloads and opens Slack's emoji page — click “Add Custom Emoji”, upload the file, "
    "and name it exactly “spotify”.");
const QString EMOJI_ADDED =
    QStringLiteral("✓ :spotify: added — your status will use it from the next sync.");

constexpr int MIN_CONTENT_WIDTH = 460;
constexpr int NOTE_WIDTH = 400;

// The sizes below are those of a desktop whose body text is 13 points. Each is scaled to this
// desktop's body text, so the panel keeps its proportions next to every other window.
qreal scaled(qreal points) {
    const qreal body = QApplication::font().pointSizeF();
    return points * (body > 0 ? body : 10.0) / 13.0;
}

QFont systemFont(qreal points, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPointSizeF(scaled(points));
    font.setWeight(weight);
    return font;
}

QFont monospacedFont(qreal points, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(scaled(points));
    font.setWeight(weight);
    return font;
}

// A word-wrapping label never wider than its maximum width. It asks for the height its text
// needs at the width it will really get, so the window fits it exactly.
class WrappingLabel final : public QLabel {
  public:
    explicit WrappingLabel(int maximumWidth) {
        setWordWrap(true);
        setMaximumWidth(maximumWidth);
        setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    int heightForWidth(int width) const override {
        width = std::min(width, maximumWidth());
        // Layouts ask this at every change of any widget in the window, and each answer lays
        // the whole text out anew (rich text then repaints too): keep the answers for the text
        // and font shown.
        if (measuredText_ != text()) {
            heights_.clear();
            measuredText_ = text();
        }
        auto found = heights_.constFind(width);
        if (found == heights_.cend()) found = heights_.insert(width, QLabel::heightForWidth(width));
        return *found;
    }

  protected:
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
            heights_.clear();
        }
        QLabel::changeEvent(event);
    }

  private:
    mutable QString measuredText_;
    mutable QHash<int, int> heights_;
};

// A one-line label that cuts a too long text at the end with "…" rather than widening the
// window. The text is shown exactly as given, never read as markup.
class ElidedLabel final : public QLabel {
  public:
    ElidedLabel() {
        setTextFormat(Qt::PlainText);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override {
        return {0, std::max(QLabel::sizeHint().height(), fontMetrics().height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
        style()->drawItemText(&painter, area, int(Qt::AlignLeft | Qt::AlignVCenter), palette(),
                              isEnabled(), shown, foregroundRole());
    }
};

QLabel* secondaryLabel(QLabel* label) {
    // The placeholder role is the palette's dimmed text colour, in light and dark themes alike.
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// A push button that Return leaves alone even when it has focus: in this window only the
// default button answers Return.
QPushButton* button(const QString& title) {
    auto* button = new QPushButton(title);
    button->setAutoDefault(false);
    return button;
}

QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QHBoxLayout* row(int spacing = 8) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return layout;
}

// Controls carry their field's name, so the window can be inspected by name.
void name(QObject* object, const char* objectName) {
    object->setObjectName(QLatin1String(objectName));
}

// The three notes on how mirroring behaves, as bullet paragraphs whose wrapped lines align
// under the text past the bullet. The numbers follow the timing constants.
QString notesHtml(const QFont& font) {
    const QString bullet = QStringLiteral("•\u2002");
    const int hang = QFontMetrics(font).horizontalAdvance(bullet);
    const QStringList notes = {
        QStringLiteral("Your own status always wins: set one (like “In a meeting”) and "
                       "Trackglint won't touch it. Your music reappears after you clear it."),
        QStringLiteral("Pause or stop the music and your status clears within %1 seconds.")
            .arg(int(SYNC_SECONDS)),
        QStringLiteral("If your Mac is asleep or shut, the last song disappears from Slack by "
                       "itself within %1 minutes.")
            .arg(STATUS_TTL_SECONDS / 60),
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

}  // namespace

DashboardController::DashboardController(Config& config, AppState& state, SyncEngine& sync,
                                         SignIn& signIn, platform::LoginItem& loginItem,
                                         platform::Desktop& desktop,
                                         std::function<void()> applyMenuMark, QObject* parent)
    : QObject(parent),
      config_(config),
      state_(state),
      sync_(sync),
      signIn_(signIn),
      loginItem_(loginItem),
      desktop_(desktop),
      applyMenuMark_(std::move(applyMenuMark)),
      window_(std::make_unique<QDialog>(
          nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint)) {
    window_->setWindowTitle(QStringLiteral("Trackglint"));
    // The header's colours follow the appearance at this moment and keep it.
    dark_ = window_->palette().color(QPalette::Window).lightness() < 128;
    buildUI();
    connect(&state_, &AppState::tickNotification, this, &DashboardController::refresh);
    refresh();
}

DashboardController::~DashboardController() = default;

QWidget* DashboardController::window() {
    return window_.get();
}

void DashboardController::buildUI() {
    auto* header = new QLabel;
    const MarkRuns runs = markRuns(MenuMark::Wordmark);
    const QColor text = dark_ ? QColor(233, 233, 238) : QColor(23, 23, 27);
    const QColor green = dark_ ? QColor(47, 208, 113) : QColor(29, 185, 86);
    header->setTextFormat(Qt::RichText);
    header->setText(QStringLiteral("<span style=\"color:%1\">%2</span>"
                                   "<span style=\"color:%3\">%4</span>")
                        .arg(text.name(), runs.first.toHtmlEscaped(), green.name(),
                             runs.second.toHtmlEscaped()));
    header->setFont(markFont(scaled(24)));
    header->setAccessibleName(QStringLiteral("Trackglint"));

    errorLine_ = new WrappingLabel(NOTE_WIDTH);
    name(errorLine_, "errorLine");
    errorLine_->setTextFormat(Qt::PlainText);
    errorLine_->setFont(systemFont(12));
    QPalette red = errorLine_->palette();
    red.setColor(QPalette::WindowText, dark_ ? QColor(255, 69, 58) : QColor(255, 59, 48));
    errorLine_->setPalette(red);
    // At most two lines.
    errorLine_->setMaximumHeight(2 * errorLine_->fontMetrics().lineSpacing());

    connectedBox_ = buildConnectedBox();
    signInBox_ = buildSignInBox();

    auto* main = new QVBoxLayout;
    main->setContentsMargins(24, 20, 24, 20);
    main->setSpacing(16);
    main->addWidget(header, 0, Qt::AlignLeft);
    main->addWidget(errorLine_);
    main->addWidget(connectedBox_);
    main->addWidget(signInBox_);

    auto* version =
        new QLabel(QStringLiteral("v") + platform::shortVersion().value_or(QStringLiteral("?")));
    name(version, "version");
    version->setTextFormat(Qt::PlainText);
    version->setFont(monospacedFont(10, QFont::Normal));
    QPalette dim = version->palette();
    QColor tertiary = dim.color(QPalette::WindowText);
    tertiary.setAlphaF(0.3f);
    dim.setColor(QPalette::WindowText, tertiary);
    version->setPalette(dim);
    version->setContentsMargins(0, 0, 14, 12);

    // The version sits in the bottom trailing corner, over the column's bottom margin.
    auto* content = new QGridLayout(window_.get());
    content->setContentsMargins(0, 0, 0, 0);
    content->addLayout(main, 0, 0);
    content->addWidget(version, 0, 0, Qt::AlignRight | Qt::AlignBottom);
}

QWidget* DashboardController::buildConnectedBox() {
    auto* box = new QWidget;
    name(box, "connectedBox");
    QVBoxLayout* layout = column(box, 12);

    nowPlaying_ = new ElidedLabel;
    name(nowPlaying_, "nowPlaying");
    nowPlaying_->setFont(systemFont(15, QFont::Medium));
    layout->addWidget(nowPlaying_);

    signedInAs_ = new ElidedLabel;
    name(signedInAs_, "signedInAs");
    signedInAs_->setFont(systemFont(12));
    layout->addWidget(secondaryLabel(signedInAs_));

    pauseButton_ = button(QStringLiteral("Pause"));
    name(pauseButton_, "pauseButton");
    connect(pauseButton_, &QPushButton::clicked, this, &DashboardController::togglePause);
    layout->addWidget(pauseButton_, 0, Qt::AlignLeft);

    layout->addWidget(separator());

    emojiPopup_ = new QComboBox;
    name(emojiPopup_, "emojiPopup");
    emojiPopup_->setIconSize(QSize(17, 17));
    for (const EmojiChoice& choice : EMOJI_CHOICES) {
        if (choice.code == SPOTIFY_EMOJI) {
            const QPixmap logo = spotifyLogoImage(17);
            emojiPopup_->addItem(logo.isNull() ? QIcon() : QIcon(logo), QString(), choice.code);
        } else {
            emojiPopup_->addItem(choice.glyph, choice.code);
        }
    }
    connect(emojiPopup_, &QComboBox::activated, this, &DashboardController::pickEmoji);
    auto* emojiTitle = new QLabel(QStringLiteral("Status emoji:"));
    QHBoxLayout* emojiRow = row();
    emojiRow->addWidget(emojiTitle);
    emojiRow->addWidget(emojiPopup_);
    emojiRow->addStretch();
    layout->addLayout(emojiRow);

    emojiHelpRow_ = new QWidget;
    name(emojiHelpRow_, "emojiHelpRow");
    QVBoxLayout* help = column(emojiHelpRow_, 8);
    emojiHelpLabel_ = new WrappingLabel(NOTE_WIDTH);
    name(emojiHelpLabel_, "emojiHelpLabel");
    emojiHelpLabel_->setTextFormat(Qt::PlainText);
    emojiHelpLabel_->setFont(systemFont(11.5));
    emojiHelpLabel_->setText(EMOJI_HELP);
    QPalette success = emojiHelpLabel_->palette();
    success.setColor(QPalette::WindowText, dark_ ? QColor(48, 209, 88) : QColor(40, 167, 69));
    emojiHelpLabel_->setPalette(success);
    emojiHelpButton_ = button(QStringLiteral("Add :spotify: to your workspace…"));
    name(emojiHelpButton_, "emojiHelpButton");
    connect(emojiHelpButton_, &QPushButton::clicked, this, &DashboardController::addEmoji);
    help->addWidget(emojiHelpLabel_);
    help->addWidget(emojiHelpButton_, 0, Qt::AlignLeft);
    layout->addWidget(emojiHelpRow_);

    menuMarkPopup_ = new QComboBox;
    name(menuMarkPopup_, "menuMarkPopup");
    menuMarkPopup_->setFont(monospacedFont(12, QFont::DemiBold));
    for (const MenuMark mark : ALL_MENU_MARKS) menuMarkPopup_->addItem(label(mark), rawValue(mark));
    connect(menuMarkPopup_, &QComboBox::activated, this, &DashboardController::pickMenuMark);
    auto* markTitle = new QLabel(QStringLiteral("Show in menu bar as:"));
    // The two pop-ups start at the same place, as in a form.
    const int titleWidth = std::max(emojiTitle->sizeHint().width(), markTitle->sizeHint().width());
    emojiTitle->setMinimumWidth(titleWidth);
    markTitle->setMinimumWidth(titleWidth);
    QHBoxLayout* markRow = row();
    markRow->addWidget(markTitle);
    markRow->addWidget(menuMarkPopup_);
    markRow->addStretch();
    layout->addLayout(markRow);

    workHoursCheck_ = new QCheckBox(QStringLiteral("Only during work hours"));
    name(workHoursCheck_, "workHoursCheck");
    connect(workHoursCheck_, &QCheckBox::clicked, this, &DashboardController::saveWorkHours);
    // Hours and minutes as the user's locale writes them; some locales' short format has
    // seconds too, which a work-hours window has no use for.
    QString timeFormat = QLocale().timeFormat(QLocale::ShortFormat);
    for (const char* seconds : {":ss", ".ss", ":s", ".s"})
        timeFormat.remove(QLatin1String(seconds));
    startPicker_ = new QTimeEdit;
    endPicker_ = new QTimeEdit;
    name(startPicker_, "startPicker");
    name(endPicker_, "endPicker");
    QHBoxLayout* hoursRow = row(6);
    hoursRow->addWidget(workHoursCheck_);
    for (QTimeEdit* picker : {startPicker_, endPicker_}) {
        picker->setDisplayFormat(timeFormat);
        connect(picker, &QTimeEdit::timeChanged, this, &DashboardController::saveWorkHours);
        hoursRow->addWidget(picker);
        if (picker == startPicker_) hoursRow->addWidget(new QLabel(QStringLiteral("–")));
    }
    hoursRow->addStretch();
    layout->addLayout(hoursRow);

    loginCheck_ = new QCheckBox(QStringLiteral("Start automatically at login"));
    name(loginCheck_, "loginCheck");
    connect(loginCheck_, &QCheckBox::clicked, this, &DashboardController::toggleLogin);
    layout->addWidget(loginCheck_);

    layout->addWidget(separator());

    auto* notes = new WrappingLabel(NOTE_WIDTH);
    name(notes, "notes");
    notes->setFont(systemFont(11.5));
    notes->setTextFormat(Qt::RichText);
    notes->setText(notesHtml(notes->font()));
    layout->addWidget(secondaryLabel(notes));

    disconnectButton_ = button(QStringLiteral("Disconnect Slack…"));
    name(disconnectButton_, "disconnectButton");
    connect(disconnectButton_, &QPushButton::clicked, this, &DashboardController::disconnect);
    layout->addWidget(disconnectButton_, 0, Qt::AlignLeft);
    return box;
}

QWidget* DashboardController::buildSignInBox() {
    auto* box = new QWidget;
    name(box, "signInBox");
    QVBoxLayout* layout = column(box, 12);

    auto* intro = new WrappingLabel(NOTE_WIDTH);
    intro->setText(QStringLiteral(
        "No Spotify setup needed — your track is read straight from the Spotify app on this "
        "Mac. Slack will ask permission to update your status only."));
    layout->addWidget(secondaryLabel(intro));

    signInButton_ = button(QStringLiteral("Sign in with Slack"));
    name(signInButton_, "signInButton");
    // The default button of the window: Return signs in.
    signInButton_->setAutoDefault(true);
    signInButton_->setDefault(true);
    // The one thing to do here, so it takes the accent colour.
    QPalette accent = signInButton_->palette();
    accent.setColor(QPalette::Button, accent.color(QPalette::Highlight));
    accent.setColor(QPalette::ButtonText, accent.color(QPalette::HighlightedText));
    signInButton_->setPalette(accent);
    connect(signInButton_, &QPushButton::clicked, this, &DashboardController::signIn);
    layout->addWidget(signInButton_, 0, Qt::AlignLeft);
    return box;
}

void DashboardController::refresh() {
    const bool signedIn = config_.slackToken().has_value();
    connectedBox_->setVisible(signedIn);
    signInBox_->setVisible(!signedIn);

    const bool paused = config_.paused();
    nowPlaying_->setText(paused ? QStringLiteral("⏸ paused") : state_.nowPlayingLabel());
    signedInAs_->setText(signedIn ? QStringLiteral("Signed in as %1 · syncs every %2s")
                                        .arg(config_.slackName())
                                        .arg(int(SYNC_SECONDS))
                                  : QString());

    const std::optional<QString> error = state_.lastError();
    errorLine_->setText(error.value_or(QString()));
    errorLine_->setVisible(error.has_value());

    pauseButton_->setText(paused ? QStringLiteral("▶ Resume") : QStringLiteral("⏸ Pause"));

    const int emojiIndex = emojiPopup_->findData(sync_.effectiveEmoji());
    if (emojiIndex >= 0) emojiPopup_->setCurrentIndex(emojiIndex);
    refreshEmojiHelp();

    const QJsonValue storedMark = config_.raw().value(QStringLiteral("menuMark"));
    if (!storedMark.isString()) {
        menuMarkPopup_->setCurrentIndex(0);
    } else if (const std::optional<MenuMark> mark = menuMarkFromRaw(storedMark.toString())) {
        menuMarkPopup_->setCurrentIndex(menuMarkPopup_->findData(rawValue(*mark)));
    }

    refreshWorkHours();
    loginCheck_->setChecked(loginItem_.enabled());

    fitWindow();
}

// What the window's size follows: which parts show and the texts that wrap or set a width.
// Steps refresh the window every few seconds and mostly change none of it.
QStringList DashboardController::sizeInputs() const {
    QStringList inputs{errorLine_->text(), emojiHelpLabel_->text(), pauseButton_->text()};
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

    // The user cannot resize the window; it is exactly as big as what it shows.
    const int width = std::max(MIN_CONTENT_WIDTH, window_->sizeHint().width());
    const int height = window_->hasHeightForWidth() ? window_->heightForWidth(width)
                                                    : window_->sizeHint().height();
    window_->setFixedSize(width, height);
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

void DashboardController::togglePause() {
    sync_.togglePause();
    refresh();
}

void DashboardController::signIn() {
    signIn_.signIn();
}

void DashboardController::pickEmoji() {
    const QVariant chosen = emojiPopup_->currentData();
    const bool text = emojiPopup_->currentIndex() >= 0 && chosen.typeId() == QMetaType::QString;
    config_.setValue(QStringLiteral("emoji"), text ? chosen.toString() : DEFAULT_EMOJI);
    config_.save();
    sync_.tickAsync();
    sync_.checkEmojiAsync();
    refresh();
}

void DashboardController::addEmoji() {
    addSpotifyEmoji(config_, desktop_);
}

void DashboardController::pickMenuMark() {
    const QVariant chosen = menuMarkPopup_->currentData();
    const bool text = menuMarkPopup_->currentIndex() >= 0 && chosen.typeId() == QMetaType::QString;
    config_.setValue(QStringLiteral("menuMark"),
                     text ? chosen.toString() : rawValue(MenuMark::Wordmark));
    config_.save();
    if (applyMenuMark_) applyMenuMark_();
}

void DashboardController::saveWorkHours() {
    const auto text = [](const QTime& time) {
        return QString::asprintf("%02d:%02d", time.hour(), time.minute());
    };
    config_.setValue(QStringLiteral("workHours"),
                     QJsonObject{{QStringLiteral("enabled"), workHoursCheck_->isChecked()},
                                 {QStringLiteral("start"), text(startPicker_->time())},
                                 {QStringLiteral("end"), text(endPicker_->time())}});
    config_.save();
    sync_.tickAsync();
    refresh();
}

void DashboardController::toggleLogin() {
    toggleLoginItem(loginItem_, state_);
    refresh();
}

void DashboardController::disconnect() {
    signIn_.disconnect();
    refresh();
}
