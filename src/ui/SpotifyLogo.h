#pragma once

#include <QPixmap>

// The Spotify logo from the bundle's resources, "spotify-emoji.png", scaled smoothly to a
// square of `side` device-independent pixels (drawn sharp on high-density screens). A null
// pixmap when the resource is missing or unreadable.
QPixmap spotifyLogoImage(qreal side = 17);
