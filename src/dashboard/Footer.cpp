#include "dashboard/Footer.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"
#include "ui/PlatformWords.h"

namespace {

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

}  // namespace

Footer::Footer(UserActions& actions, Prompts& prompts) : actions_(actions), prompts_(prompts) {
    QVBoxLayout* layout = column(this, 12);
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

    auto* disconnectButton = named(button(QStringLiteral("Disconnect Slack…")), "disconnectButton");
    connect(disconnectButton, &QPushButton::clicked, this, &Footer::askToDisconnect);
    layout->addWidget(disconnectButton, 0, Qt::AlignLeft);
}

void Footer::askToDisconnect() {
    if (prompts_.confirmDisconnect()) actions_.disconnect();
    emit disconnectAnswered();
}
