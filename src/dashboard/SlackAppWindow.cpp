#include "dashboard/SlackAppWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"
#include "signin/SlackApp.h"

namespace {

constexpr int TEXT_WIDTH = 460;

QLabel* paragraph(const QString& text) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setText(text);
    return label;
}

}  // namespace

SlackAppWindow::SlackAppWindow(UserActions& actions, QWidget* parent)
    : QDialog(parent), actions_(actions) {
    setWindowTitle(QStringLiteral("Connect Trackglint to Slack"));
    build();
    // Wrapped at a fixed width, the window takes the height its texts need there.
    setFixedWidth(TEXT_WIDTH + layout()->contentsMargins().left() +
                  layout()->contentsMargins().right());
}

void SlackAppWindow::build() {
    QVBoxLayout* layout = column(this, 12);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addWidget(paragraph(QStringLiteral(
        "Trackglint signs in through a Slack app of your own, made once in a minute. One app "
        "serves your whole team: teammates paste the same Client ID.")));
    layout->addWidget(stepsBox());
    layout->addWidget(clientIdRow());
    problem_ = named(secondaryLabel(paragraph(QString())), "clientIdProblem");
    problem_->hide();
    layout->addWidget(problem_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    signIn_ = named(buttons->addButton(QStringLiteral("Sign In"), QDialogButtonBox::AcceptRole),
                    "signInWithApp");
    // Return in the field signs in; it never cancels, even while Sign In waits for a client ID.
    signIn_->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &SlackAppWindow::signInWithIt);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    checkClientId();
}

QWidget* SlackAppWindow::stepsBox() {
    auto* box = new QWidget;
    QVBoxLayout* layout = column(box, 8);
    QHBoxLayout* first = row();
    first->addWidget(paragraph(QStringLiteral("1. Create the app, its settings filled in, in "
                                              "a workspace of yours:")),
                     1);
    auto* create = named(button(QStringLiteral("Create the Slack App…")), "createSlackApp");
    connect(create, &QPushButton::clicked, this, &SlackAppWindow::createApp);
    first->addWidget(create, 0, Qt::AlignTop);
    layout->addLayout(first);
    noBrowser_ = named(secondaryLabel(paragraph(
                           QStringLiteral("No browser opened. Open %1, choose Create New App, "
                                          "then From a manifest, and paste the manifest: it is "
                                          "on the clipboard.")
                               .arg(slackAppsPage().toString()))),
                       "noBrowser");
    noBrowser_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    noBrowser_->hide();
    layout->addWidget(noBrowser_);
    layout->addWidget(paragraph(QStringLiteral(
        "2. In the app's settings, open OAuth & Permissions and turn on PKCE. Trackglint never "
        "needs the app's secret.")));
    layout->addWidget(paragraph(QStringLiteral(
        "3. Open Basic Information, copy the Client ID under App Credentials, and paste it "
        "here:")));
    return box;
}

QWidget* SlackAppWindow::clientIdRow() {
    auto* box = new QWidget;
    QHBoxLayout* layout = row();
    box->setLayout(layout);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(QStringLiteral("Client ID:"));
    clientId_ = named(new QLineEdit, "clientId");
    clientId_->setPlaceholderText(QStringLiteral("1234567890123.1234567890123"));
    clientId_->setAccessibleName(QStringLiteral("Client ID"));
    label->setBuddy(clientId_);
    connect(clientId_, &QLineEdit::textChanged, this, &SlackAppWindow::checkClientId);
    layout->addWidget(label);
    layout->addWidget(clientId_, 1);
    return box;
}

void SlackAppWindow::ask(const QString& clientId) {
    clientId_->setText(clientId);
    noBrowser_->hide();
    adjustSize();
    // Focus goes to the field before the window shows, so that the dialog does not give it to a
    // button when it becomes active.
    clientId_->setFocus();
    show();
    raise();
    activateWindow();
}

void SlackAppWindow::createApp() {
    if (actions_.createSlackApp()) return noBrowser_->hide();
    QApplication::clipboard()->setText(QString::fromUtf8(slackAppManifest()));
    noBrowser_->show();
    adjustSize();
}

// Sign In is offered once the text has a client ID's form; a text that has not says why.
void SlackAppWindow::checkClientId() {
    const QString clientId = pastedClientId(clientId_->text());
    const bool valid = validClientId(clientId);
    signIn_->setEnabled(valid);
    problem_->setText(valid ? QString() : clientIdProblem(clientId));
    problem_->setVisible(!valid && !clientId.isEmpty());
    adjustSize();
}

void SlackAppWindow::signInWithIt() {
    if (const std::optional<QString> problem = actions_.signInWithSlackApp(clientId_->text())) {
        problem_->setText(*problem);
        return problem_->show();
    }
    accept();
}
