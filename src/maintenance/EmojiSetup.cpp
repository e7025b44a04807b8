#include "maintenance/EmojiSetup.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "platform/Bundle.h"
#include "state/Constants.h"

void addSpotifyEmoji(const Config& config, platform::Desktop& desktop) {
    const std::optional<QString> logo = platform::resourcePath(QStringLiteral("spotify-emoji.png"));
    if (!logo) return;
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (downloads.isEmpty()) return;
    QDir().mkpath(downloads);
    const QString destination = QDir(downloads).filePath(QStringLiteral("spotify.png"));
    QFile::remove(destination);
    QFile::copy(*logo, destination);
    desktop.showInFileManager(destination);

    const QUrl page(config.teamUrl().value_or(slackWebRoot()) + QStringLiteral("customize/emoji"));
    if (page.isValid()) desktop.openUrl(page);
}
