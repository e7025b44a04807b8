#include "platform/linux/MprisSpotify.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>

namespace platform {
namespace {

const QString MPRIS_PREFIX = QStringLiteral("org.mpris.MediaPlayer2.");
const QString OBJECT_PATH = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PLAYER_INTERFACE = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString PROPERTIES_INTERFACE = QStringLiteral("org.freedesktop.DBus.Properties");

// The Spotify app's player name, and the players that stream from Spotify in its place and
// publish MPRIS under their own; each may add an instance to its name
// ("org.mpris.MediaPlayer2.spotify.instance1234"). Any other player is never read.
const QString APP_PLAYER = QStringLiteral("spotify");
const QStringList OTHER_PLAYERS = {QStringLiteral("spotifyd"), QStringLiteral("ncspot"),
                                   QStringLiteral("librespot")};
const QStringList ALL_PLAYERS = QStringList(APP_PLAYER) + OTHER_PLAYERS;

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

// The Spotify player a bus name belongs to: "spotify" for org.mpris.MediaPlayer2.spotify and its
// instances; empty for any other name.
QString playerOf(const QString& busName) {
    if (!busName.startsWith(MPRIS_PREFIX)) return {};
    const QString player = busName.mid(MPRIS_PREFIX.size()).section(u'.', 0, 0);
    return ALL_PLAYERS.contains(player) ? player : QString();
}

// The bus names in the order their players are preferred: the app's first, then the others in
// the order of OTHER_PLAYERS.
QStringList order(QStringList names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return ALL_PLAYERS.indexOf(playerOf(a)) < ALL_PLAYERS.indexOf(playerOf(b));
    });
    return names;
}

// The item id in Spotify's "spotify:<kind>:<id>" form, whatever form the player gives it in:
// the app's "spotify:track:ID" or "/com/spotify/track/ID", spotifyd's "/spotify/track/ID",
// ncspot's "/org/ncspot/spotify/track/ID". The "spotify" part and what follows it are kept; an
// id without one is passed on unchanged, so it names no kind of Spotify's.
QString itemId(const QVariant& value) {
    const QString id = value.metaType() == QMetaType::fromType<QDBusObjectPath>()
                           ? value.value<QDBusObjectPath>().path()
                           : value.toString();
    static const QRegularExpression separators(QStringLiteral("[/:]"));
    const QStringList parts = id.split(separators);
    const qsizetype spotify = parts.indexOf(APP_PLAYER);
    if (spotify < 0) return id;
    return QStringList(parts.mid(spotify)).join(u':');
}

QDBusMessage call(const QDBusConnection& bus, QDBusMessage message) {
    message.setAutoStartService(false);
    return bus.call(message, QDBus::Block, CALL_TIMEOUT_MS);
}

// The names of the Spotify players on the bus, in the order they are preferred; none when the
// bus cannot say.
std::optional<QStringList> runningPlayers(const QDBusConnection& bus) {
    const QDBusMessage answer = call(
        bus, QDBusMessage::createMethodCall(
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")));
    if (answer.type() != QDBusMessage::ReplyMessage) return std::nullopt;
    QStringList players;
    for (const QString& name : toStringList(answer.arguments().value(0))) {
        if (!playerOf(name).isEmpty()) players += name;
    }
    return order(players);
}

// Asks one player for all its properties at once; a player that has just quit reads as not
// running.
PlayerReading readPlayer(const QDBusConnection& bus, const QString& name) {
    QDBusMessage ask =
        QDBusMessage::createMethodCall(name, OBJECT_PATH, PROPERTIES_INTERFACE, "GetAll");
    ask << PLAYER_INTERFACE;
    const QDBusMessage answer = call(bus, ask);
    PlayerReading reading = answer.type() == QDBusMessage::ReplyMessage
                                ? MprisSpotify::readingFrom(toMap(answer.arguments().value(0)))
                            : NOT_RUNNING_ERRORS.contains(answer.errorName())
                                ? PlayerReading::notRunning()
                                : PlayerReading::error(answer.errorMessage());
    if (playerOf(name) != APP_PLAYER) reading.player = playerOf(name);
    return reading;
}

}  // namespace

// Receives the players' signals and passes on the ones that matter for sharing: a Spotify
// player that starts or quits, and its playback status or item that changes.
class PlayerWatcher : public QObject {
    Q_OBJECT

  public:
    PlayerWatcher(QDBusConnection bus, std::function<void()> changed)
        : bus_(std::move(bus)), changed_(std::move(changed)) {
        names_.setConnection(bus_);
        names_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        for (const QString& player : ALL_PLAYERS)
            names_.addWatchedService(MPRIS_PREFIX + player + u'*');
        connect(&names_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString& name, const QString&, const QString& owner) {
                    if (playerOf(name).isEmpty()) return;
                    follow(name, !owner.isEmpty());
                    changed_();
                });
        const std::optional<QStringList> running = runningPlayers(bus_);
        known_ = running.has_value();
        for (const QString& name : running.value_or(QStringList())) follow(name, true);
    }

    // The Spotify players on the bus, in the order they are preferred, as the bus last told;
    // none when it could not be asked at the start.
    std::optional<QStringList> players() const {
        if (!known_) return std::nullopt;
        return order(running_);
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
    // Takes the signals of the player that owns `name` now, if any, and no longer those of one
    // that owned it before.
    void follow(const QString& name, bool running) {
        const char* slot = SLOT(propertiesChanged(QString, QVariantMap, QStringList));
        bus_.disconnect(name, OBJECT_PATH, PROPERTIES_INTERFACE, "PropertiesChanged", this, slot);
        running_.removeAll(name);
        if (running) {
            bus_.connect(name, OBJECT_PATH, PROPERTIES_INTERFACE, "PropertiesChanged", this, slot);
            running_ += name;
        }
    }

    QDBusConnection bus_;
    QDBusServiceWatcher names_;
    std::function<void()> changed_;
    QStringList running_;
    bool known_ = false;
};

MprisSpotify::MprisSpotify(QDBusConnection bus) : bus_(std::move(bus)) {}

MprisSpotify::MprisSpotify() = default;
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
    // While the players are watched, their names are known without asking the bus each time.
    std::optional<QStringList> players = watcher_ ? watcher_->players() : std::nullopt;
    if (!players) players = runningPlayers(bus);
    if (!players)
        return PlayerReading::error(QStringLiteral("the D-Bus session bus did not answer"));
    if (players->isEmpty()) {
        return spotifyInstalled() ? PlayerReading::notRunning() : PlayerReading::notInstalled();
    }
    // The app whenever it runs; otherwise the first other player that plays, or else the first.
    const PlayerReading first = readPlayer(bus, players->first());
    if (first.player.isEmpty() || first.kind == PlayerReading::Kind::Playing) return first;
    for (const QString& name : players->mid(1)) {
        PlayerReading reading = readPlayer(bus, name);
        if (reading.kind == PlayerReading::Kind::Playing) return reading;
    }
    return first;
}

PlayerReading MprisSpotify::readingFrom(const QVariantMap& playerProperties) {
    const QString status = playerProperties.value(QStringLiteral("PlaybackStatus")).toString();
    if (status != QLatin1String("Playing")) return PlayerReading::stopped();

    const QVariantMap metadata = toMap(playerProperties.value(QStringLiteral("Metadata")));
    return PlayerReading::playing(itemId(metadata.value(QStringLiteral("mpris:trackid"))),
                                  metadata.value(QStringLiteral("xesam:title")).toString(),
                                  toStringList(metadata.value(QStringLiteral("xesam:artist"))));
}

// A desktop entry of the app's native package, Flatpak or Snap in the XDG data folders, or the
// app or another Spotify player on PATH.
bool spotifyInstalled() {
    static const char* const entries[] = {"spotify.desktop", "com.spotify.Client.desktop",
                                          "spotify_spotify.desktop"};
    for (const char* entry : entries) {
        const QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                                     QString::fromLatin1(entry));
        if (!found.isEmpty()) return true;
    }
    for (const QString& player : ALL_PLAYERS) {
        if (!QStandardPaths::findExecutable(player).isEmpty()) return true;
    }
    return false;
}

std::unique_ptr<SpotifyBridge> makeSpotifyBridge() {
    return std::make_unique<MprisSpotify>();
}

}  // namespace platform

#include "MprisSpotify.moc"
