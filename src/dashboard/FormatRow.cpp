#include "dashboard/FormatRow.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "dashboard/Widgets.h"
#include "sync/PrivateArtists.h"
#include "sync/StatusFormat.h"
#include "ui/Contrast.h"

namespace {

// What the preview shows while no music plays.
SpotifyState sampleTrack() {
    SpotifyState sample =
        SpotifyState::playing(QStringLiteral("Evening Tide"), QStringLiteral("The Harbour Lights"));
    sample.artists = QStringList{sample.artist};
    sample.album = QStringLiteral("Low Water");
    return sample;
}

}  // namespace

FormatRow::FormatRow(const Config& config, const AppState& state, UserActions& actions,
                     const QColor& background)
    : config_(config), state_(state), actions_(actions) {
    QVBoxLayout* layout = column(this, 4);
    field_ = named(new QLineEdit(config_.statusFormat()), "statusFormat");
    field_->setAccessibleName(QStringLiteral("Status text"));
    field_->setToolTip(QStringLiteral("{title}, {artist} and {album} show the track's own"));
    connect(field_, &QLineEdit::textChanged, this, &FormatRow::showPreview);
    connect(field_, &QLineEdit::editingFinished, this, &FormatRow::save);
    title_ = new QLabel(QStringLiteral("Status text:"));
    title_->setBuddy(field_);
    QHBoxLayout* fieldRow = row();
    fieldRow->addWidget(title_);
    fieldRow->addWidget(field_, 1);
    layout->addLayout(fieldRow);

    preview_ = named(new ElidedLabel, "statusPreview");
    preview_->setFont(systemFont(11.5));
    layout->addWidget(secondaryLabel(preview_));
    problem_ = named(new WrappingLabel(NOTE_WIDTH), "statusFormatProblem");
    problem_->setTextFormat(Qt::PlainText);
    problem_->setFont(systemFont(11.5));
    QPalette red = problem_->palette();
    red.setColor(QPalette::WindowText, readableOn(QColor(255, 59, 48), background, TEXT_CONTRAST));
    problem_->setPalette(red);
    layout->addWidget(problem_);
    showPreview();
}

void FormatRow::refresh() {
    const QString stored = config_.statusFormat();
    if (!field_->hasFocus() && !formatProblem(field_->text()) && field_->text() != stored)
        field_->setText(stored);
    showPreview();
}

QStringList FormatRow::sizeInputs() const {
    return {problem_->text(), problem_->isHidden() ? QStringLiteral("hidden") : QString()};
}

void FormatRow::showPreview() {
    const QString format = field_->text();
    const std::optional<QString> problem = formatProblem(format);
    problem_->setText(problem.value_or(QString()));
    problem_->setVisible(problem.has_value());
    preview_->setVisible(!problem);
    if (problem) return;
    // The track playing, unless it is kept private and so not shared at all.
    std::optional<SpotifyState> playing = state_.playingTrack();
    if (playing && privateArtistOf(playing->artists, config_.privateArtists())) playing.reset();
    preview_->setText(
        (playing ? QStringLiteral("Now shared as: ") : QStringLiteral("Shared as, for example: ")) +
        statusText(format, playing.value_or(sampleTrack())));
}

void FormatRow::save() {
    if (const std::optional<QString> problem = actions_.saveStatusFormat(field_->text())) {
        problem_->setText(*problem);
        problem_->setVisible(true);
    }
}
