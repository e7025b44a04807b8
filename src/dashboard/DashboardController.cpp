// The dashboard: one small fixed-size panel. Signed out it offers the sign-in; signed in it
// shows what is mirrored, the workspaces and how each fares, pause, every setting and three
// notes on how the mirroring behaves.

#include "dashboard/DashboardController.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "dashboard/Choices.h"
#include "dashboard/Footer.h"
#include "dashboard/SignInBox.h"
#include "dashboard/Widgets.h"
#include "dashboard/WorkspaceRows.h"
#include "platform/Bundle.h"
#include "sync/WorkspaceLines.h"
#include "ui/Contrast.h"
#include "ui/MarkDrawing.h"

namespace {

constexpr int MIN_CONTENT_WIDTH = 460;
// What the window manager's title bar and borders take of the screen's height, about.
constexpr int WINDOW_FRAME_ALLOWANCE = 64;

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
    for (const auto change : {&AppState::playerChanged, &AppState::workspacesChanged,
                              &AppState::troubleChanged, &AppState::offersChanged})
        connect(&state_, change, this, &DashboardController::refresh);
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
    // The content comes first: the workspace list orders the keyboard over all of it.
    content_ = new QWidget;
    connectedBox_ = buildConnectedBox();
    signInBox_ = new SignInBox(actions_);

    auto* main = new QVBoxLayout;
    main->setContentsMargins(24, 20, 24, 20);
    main->setSpacing(16);
    main->addWidget(buildHeader(), 0, Qt::AlignLeft);
    main->addWidget(buildErrorLine());
    main->addWidget(connectedBox_);
    main->addWidget(signInBox_);

    // The version sits in the bottom trailing corner, over the column's bottom margin.
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
    choices_ = new Choices(config_, state_, actions_, loginItem_,
                           window_->palette().color(QPalette::Window), content_);
    layout->addWidget(choices_);
    layout->addWidget(separator());
    auto* footer = new Footer(actions_, prompts_);
    connect(footer, &Footer::disconnectAnswered, this, &DashboardController::refresh);
    layout->addWidget(footer);
    return box;
}

void DashboardController::addNowPlaying(QVBoxLayout* layout) {
    nowPlaying_ = named(new ElidedLabel, "nowPlaying");
    nowPlaying_->setFont(systemFont(15, QFont::Medium));
    layout->addWidget(nowPlaying_);
    workspaceRows_ = new WorkspaceRows(config_, state_, actions_, content_);
    layout->addWidget(workspaceRows_);

    pauseButton_ = named(button(QStringLiteral("Pause")), "pauseButton");
    connect(pauseButton_, &QPushButton::clicked, &actions_, &UserActions::togglePause);
    auto* addWorkspace =
        named(button(QStringLiteral("Add Another Workspace…")), "addWorkspaceButton");
    connect(addWorkspace, &QPushButton::clicked, &actions_, &UserActions::signIn);
    layout->addLayout(leadingRow({pauseButton_, addWorkspace}));
}

void DashboardController::refresh() {
    const bool signedIn = config_.signedIn();
    connectedBox_->setVisible(signedIn);
    signInBox_->setVisible(!signedIn);

    const bool paused = config_.paused();
    nowPlaying_->setText(firstLine(state_, paused));
    workspaceRows_->refresh();

    const std::optional<QString> error = errorBeside(state_, paused, signedIn);
    errorLine_->setText(error.value_or(QString()));
    errorLine_->setVisible(error.has_value());

    pauseButton_->setText(paused ? QStringLiteral("▶ Resume") : QStringLiteral("⏸ Pause"));
    choices_->refresh();

    fitWindow();
}

// What the window's size follows: which parts show and the texts that wrap or set a width.
// Steps refresh the window every few seconds and mostly change none of it.
QStringList DashboardController::sizeInputs() const {
    QStringList inputs{errorLine_->text(), pauseButton_->text(),
                       QString::number(workspaceRows_->count())};
    inputs += choices_->sizeInputs();
    const QList<const QWidget*> parts = {window_.get(), connectedBox_, signInBox_, errorLine_};
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
