#include "platform/linux/MprisSpotify.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QStandardPaths>
#include <QStringList>

namespace platform {
namespace {

const QString SERVICE = QStringLiteral("org.mpris.MediaPlayer2.spotify");
const QString OBJECT_PATH = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PLAYER_INTERFACE = QStringLiteral("org.mpris.MediaPlayer2.Player");

// What the bus answers for a name nobody owns.
const QStringList NOT_RUNNING_ERRORS = {
    QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
    QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")};

// A hung player must not hold the caller (the main thread) for D-Bus's default 25 seconds.
constexpr int CALL_TIMEOUT_MS = 3'000;

bool holdsDBusArgument(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<QDBusArgument>();
}

QVariantMap toMap(const QVariant& value) {
    if (holdsDBusArgument(value)) return qdbus_cast<QVariantMap>(value);
    return value.toMap();
}

QStringList toStringList(const QVariant& value) {
    if (holdsDBusArgument(value)) return qdbus_cast<QStringList>(value);
    if (value.metaType() == QMetaType::fromType<QString>()) return {value.toString()};
    return value.toStringList();
}

// Spotify names the item either "spotify:track:ID" or, as an MPRIS object path,
// "/com/spotify/track/ID" (episodes and ads alike); both become the "spotify:kind:ID" form.
QString itemId(const QVariant& value) {
    QString id = value.metaType() == QMetaType::fromType<QDBusObjectPath>()
                     ? value.value<QDBusObjectPath>().path()
                     : value.toString();
    const QString pathPrefix = QStringLiteral("/com/spotify/");
    if (id.startsWith(pathPrefix)) {
        id = QStringLiteral("spotify:") + id.mid(pathPrefix.size()).replace(u'/', u':');
    }
    return id;
}

// Asks for all the player's properties at once. Asked straight away, without first asking the
// bus whether the name is owned: a player that is not running then answers through the bus that
// nobody has the name, and is never started by the call.
QDBusMessage askForProperties(const QDBusConnection& bus) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        SERVICE, OBJECT_PATH, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    call << PLAYER_INTERFACE;
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, CALL_TIMEOUT_MS);
}

}  // namespace

// Receives the player's signals and passes on the ones that matter for sharing.
class PlayerWatcher : public QObject {
    Q_OBJECT

  public:
    PlayerWatcher(QDBusConnection bus, std::function<void()> changed)
        : names_(SERVICE, bus, QDBusServiceWatcher::WatchForOwnerChange),
          changed_(std::move(changed)) {
        connect(&names_, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] { changed_(); });
        bus.connect(SERVICE, OBJECT_PATH, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    }

  private slots:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated) {
        if (interface != PLAYER_INTERFACE) return;
        for (const QString& name : {QStringLiteral("PlaybackStatus"), QStringLiteral("Metadata")}) {
            if (changed.contains(name) || invalidated.contains(name)) return changed_();
        }
    }

  private:
    QDBusServiceWatcher names_;
    std::function<void()> changed_;
};

MprisSpotify::MprisSpotify(QDBusConnection bus) : bus_(std::move(bus)) {}

MprisSpotify::~MprisSpotify() = default;

void MprisSpotify::watchChanges(std::function<void()> changed) {
    watcher_.reset();
    if (!changed || !connection().isConnected()) return;
    watcher_ = std::make_unique<PlayerWatcher>(connection(), std::move(changed));
}

QDBusConnection MprisSpotify::connection() const {
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

PlayerReading MprisSpotify::read() {
    const QDBusConnection bus = connection();
    // The app counts as installed when the system knows it or when it runs; without a bus it
    // cannot be seen running.
    if (!bus.isConnected() && !spotifyInstalled()) return PlayerReading::notInstalled();
    if (!bus.isConnected()) return PlayerReading::error(QStringLiteral("no D-Bus session bus"));
    const QDBusMessage answer = askForProperties(bus);
    if (answer.type() == QDBusMessage::ReplyMessage) {
        return readingFrom(toMap(answer.arguments().value(0)));
    }
    if (NOT_RUNNING_ERRORS.contains(answer.errorName())) {
        return spotifyInstalled() ? PlayerReading::notRunning() : PlayerReading::notInstalled();
    }
    return PlayerReading::error(answer.errorMessage());
}

PlayerReading MprisSpotify::readingFrom(const QVariantMap& playerProperties) {
    const QString status = playerProperties.value(QStringLiteral("PlaybackStatus")).toString();
    if (status != QLatin1String("Playing")) return PlayerReading::stopped();

    const QVariantMap metadata = toMap(playerProperties.value(QStringLiteral("Metadata")));
    return PlayerReading::playing(itemId(metadata.value(QStringLiteral("mpris:trackid"))),
                                  metadata.value(QStringLiteral("xesam:title")).toString(),
                                  toStringList(metadata.value(QStringLiteral("xesam:artist"))));
}

// A desktop entry of the native package, the Flatpak or the Snap in the XDG data folders, or a
// `spotify` executable on PATH.
bool spotifyInstalled() {
    static const char* const entries[] = {"spotify.desktop", "com.spotify.Client.desktop",
                                          "spotify_spotify.desktop"};
    for (const char* entry : entries) {
        const QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                                     QString::fromLatin1(entry));
        if (!found.isEmpty()) return true;
    }
    return !QStandardPaths::findExecutable(QStringLiteral("spotify")).isEmpty();
}

std::unique_ptr<SpotifyBridge> makeSpotifyBridge() {
    return std::make_unique<MprisSpotify>();
}

}  // namespace platform

#include "MprisSpotify.moc"
