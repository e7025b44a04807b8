#include "dashboard/SignInBox.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"
#include "ui/Contrast.h"
#include "ui/PlatformWords.h"

SignInBox::SignInBox(UserActions& actions) {
    setObjectName(QStringLiteral("signInBox"));
    QVBoxLayout* layout = column(this, 12);

    auto* intro = new WrappingLabel(NOTE_WIDTH);
    intro->setText(platformWords().signInIntro);
    layout->addWidget(secondaryLabel(intro));

    auto* signIn = named(button(QStringLiteral("Sign in with Slack")), "signInButton");
    // The default button of the window: Return signs in.
    signIn->setAutoDefault(true);
    signIn->setDefault(true);
    // The one thing to do here, so it takes the accent colour, standing out from the window
    // (3:1) with its title readable on it (4.5:1).
    QPalette accent = signIn->palette();
    const QColor face = readableOn(accent.color(QPalette::Highlight),
                                   accent.color(QPalette::Window), CONTROL_CONTRAST);
    accent.setColor(QPalette::Button, face);
    accent.setColor(QPalette::ButtonText,
                    readableOn(accent.color(QPalette::HighlightedText), face, TEXT_CONTRAST));
    signIn->setPalette(accent);
    connect(signIn, &QPushButton::clicked, &actions, &UserActions::signIn);
    layout->addWidget(signIn, 0, Qt::AlignLeft);
}
