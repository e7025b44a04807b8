#include "maintenance/EmojiSetup.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "main/Constants.h"
#include "platform/Bundle.h"

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

    const QJsonValue teamUrl = config.raw().value(QStringLiteral("teamUrl"));
    const QString workspace = teamUrl.isString() ? teamUrl.toString() : slackWebRoot();
    const QUrl page(workspace + QStringLiteral("customize/emoji"));
    if (page.isValid()) desktop.openUrl(page);
}
