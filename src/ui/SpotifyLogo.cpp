#include "ui/SpotifyLogo.h"

#include <QGuiApplication>
#include <QImage>

#include "platform/Bundle.h"

QPixmap spotifyLogoImage(qreal side) {
    const std::optional<QString> path = platform::resourcePath(QStringLiteral("spotify-emoji.png"));
    if (!path) return {};
    const QImage logo(*path);
    if (logo.isNull()) return {};
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    const int pixels = std::max(1, qRound(side * ratio));
    QPixmap scaled = QPixmap::fromImage(
        logo.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    scaled.setDevicePixelRatio(ratio);
    return scaled;
}
