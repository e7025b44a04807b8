#include "platform/linux/MprisPlayers.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <algorithm>
#include <map>

namespace platform {
namespace {

const QString MPRIS_PREFIX = QStringLiteral("org.mpris.MediaPlayer2.");
const QString OBJECT_PATH = QStringLiteral("/org/mpris/MediaPlayer2");
const QString ROOT_INTERFACE = QStringLiteral("org.mpris.MediaPlayer2");
const QString PLAYER_INTERFACE = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString PROPERTIES_INTERFACE = QStringLiteral("org.freedesktop.DBus.Properties");

// The Spotify app's player name, and the players that stream from Spotify in its place and
// publish MPRIS under their own; each may add an instance to its name
// ("org.mpris.MediaPlayer2.spotify.instance1234").
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

// The player's short name: "spotify" for org.mpris.MediaPlayer2.spotify and its instances.
QString shortName(const QString& busName) {
    return busName.mid(MPRIS_PREFIX.size()).section(u'.', 0, 0);
}

// The app first, then the other Spotify players in the order of OTHER_PLAYERS, then the rest.
int rankOf(const QString& busName) {
    const qsizetype spotify = ALL_PLAYERS.indexOf(shortName(busName));
    return int(spotify < 0 ? ALL_PLAYERS.size() : spotify);
}

bool isSpotifyPlayer(const QString& busName) {
    return rankOf(busName) < ALL_PLAYERS.size();
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

// The names of the MPRIS players on the bus; none when the bus cannot say.
std::optional<QStringList> runningPlayers(const QDBusConnection& bus) {
    const QDBusMessage answer = call(
        bus, QDBusMessage::createMethodCall(
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames")));
    if (answer.type() != QDBusMessage::ReplyMessage) return std::nullopt;
    QStringList players = toStringList(answer.arguments().value(0));
    players.removeIf([](const QString& name) { return !name.startsWith(MPRIS_PREFIX); });
    return players;
}

// Asks one player for all its properties at once; a player that has just quit reads as not
// running.
PlayerReading readPlayer(const QDBusConnection& bus, const QString& name) {
    QDBusMessage ask =
        QDBusMessage::createMethodCall(name, OBJECT_PATH, PROPERTIES_INTERFACE, "GetAll");
    ask << PLAYER_INTERFACE;
    const QDBusMessage answer = call(bus, ask);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return MprisPlayers::readingFrom(toMap(answer.arguments().value(0)));
    return NOT_RUNNING_ERRORS.contains(answer.errorName())
               ? PlayerReading::notRunning()
               : PlayerReading::error(answer.errorMessage());
}

// The length of the item left to play, in milliseconds at normal speed, when the player gives
// the item's length (in microseconds, none when 0) and its position.
std::optional<qint64> remainingMs(const QVariantMap& playerProperties,
                                  const QVariantMap& metadata) {
    const qint64 length = metadata.value(QStringLiteral("mpris:length")).toLongLong();
    const QVariant position = playerProperties.value(QStringLiteral("Position"));
    if (length <= 0 || !position.isValid()) return std::nullopt;
    return std::max<qint64>(0, length - position.toLongLong()) / 1000;
}

}  // namespace

// Receives one player's signals and passes on the ones that matter for sharing: its playback
// status or item that changes.
class PlayerSignals : public QObject {
    Q_OBJECT

  public:
    PlayerSignals(QDBusConnection bus, QString name, std::function<void()> changed)
        : bus_(std::move(bus)), name_(std::move(name)), changed_(std::move(changed)) {
        bus_.connect(name_, OBJECT_PATH, PROPERTIES_INTERFACE, "PropertiesChanged", this, slot());
    }
    ~PlayerSignals() override {
        bus_.disconnect(name_, OBJECT_PATH, PROPERTIES_INTERFACE, "PropertiesChanged", this,
                        slot());
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
    static const char* slot() { return SLOT(propertiesChanged(QString, QVariantMap, QStringList)); }
    QDBusConnection bus_;
    const QString name_;
    std::function<void()> changed_;
};

// Follows the players on the bus: passes on a player that starts or quits, and its playback
// status or item that changes, noting for each player when it last changed.
class PlayerWatcher : public QObject {
    Q_OBJECT

  public:
    PlayerWatcher(QDBusConnection bus, std::function<void()> changed)
        : bus_(std::move(bus)), changed_(std::move(changed)) {
        names_.setConnection(bus_);
        names_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        names_.addWatchedService(QStringLiteral("org.mpris.MediaPlayer2*"));
        connect(&names_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString& name, const QString&, const QString& owner) {
                    if (!name.startsWith(MPRIS_PREFIX)) return;
                    follow(name, !owner.isEmpty());
                    changed_();
                });
        const std::optional<QStringList> running = runningPlayers(bus_);
        known_ = running.has_value();
        for (const QString& name : running.value_or(QStringList())) follow(name, true);
    }

    // The players on the bus as the bus last told; none when it could not be asked at the start.
    std::optional<QStringList> names() const {
        if (!known_) return std::nullopt;
        QStringList names;
        for (const auto& [name, player] : players_) names += name;
        return names;
    }

    quint64 lastChange(const QString& name) const { return lastChanges_.value(name); }

  private:
    // Takes the signals of the player that owns `name` now, if any, and no longer those of one
    // that owned it before.
    void follow(const QString& name, bool running) {
        players_.erase(name);
        lastChanges_.remove(name);
        if (!running) return;
        players_.try_emplace(name, std::make_unique<PlayerSignals>(bus_, name, [this, name] {
                                 lastChanges_.insert(name, ++changes_);
                                 changed_();
                             }));
    }

    QDBusConnection bus_;
    QDBusServiceWatcher names_;
    std::function<void()> changed_;
    std::map<QString, std::unique_ptr<PlayerSignals>> players_;  // by bus name
    QHash<QString, quint64> lastChanges_;                        // by bus name
    quint64 changes_ = 0;
    bool known_ = false;
};

MprisPlayers::MprisPlayers(QDBusConnection bus) : bus_(std::move(bus)) {}

MprisPlayers::MprisPlayers() = default;
MprisPlayers::~MprisPlayers() = default;

void MprisPlayers::watchChanges(std::function<void()> changed) {
    watcher_.reset();
    if (!changed || !connection().isConnected()) return;
    watcher_ = std::make_unique<PlayerWatcher>(connection(), std::move(changed));
}

QDBusConnection MprisPlayers::connection() const {
    return bus_ ? *bus_ : QDBusConnection::sessionBus();
}

// The name the player gives itself, asked once while it runs; its short name until it answers.
QString MprisPlayers::identityOf(const QDBusConnection& bus, const QString& busName) {
    if (const auto known = identities_.constFind(busName); known != identities_.cend())
        return *known;
    QDBusMessage ask =
        QDBusMessage::createMethodCall(busName, OBJECT_PATH, PROPERTIES_INTERFACE, "Get");
    ask << ROOT_INTERFACE << QStringLiteral("Identity");
    const QDBusMessage answer = call(bus, ask);
    const QString identity = answer.arguments().value(0).value<QDBusVariant>().variant().toString();
    if (answer.type() != QDBusMessage::ReplyMessage || identity.isEmpty())
        return shortName(busName);
    identities_.insert(busName, identity);
    return identity;
}

PlayerList MprisPlayers::players() {
    const QDBusConnection bus = connection();
    // The app counts as installed when the system knows it or when it runs; without a bus it
    // cannot be seen running.
    if (!bus.isConnected() && !spotifyInstalled()) return {{}, PlayerReading::notInstalled()};
    if (!bus.isConnected())
        return {{}, PlayerReading::error(QStringLiteral("no D-Bus session bus"))};
    // While the players are watched, their names are known without asking the bus each time.
    std::optional<QStringList> names = watcher_ ? watcher_->names() : std::nullopt;
    if (!names) names = runningPlayers(bus);
    if (!names)
        return {{}, PlayerReading::error(QStringLiteral("the D-Bus session bus did not answer"))};
    identities_.removeIf([&](const auto& known) { return !names->contains(known.key()); });
    PlayerList list;
    for (const QString& name : *names) {
        list.running += {name, identityOf(bus, name), isSpotifyPlayer(name), rankOf(name),
                         watcher_ ? watcher_->lastChange(name) : 0};
    }
    // A Spotify player that runs tells the system knows one, without looking through the
    // folders a step at a time.
    const bool spotifyRuns = std::any_of(list.running.cbegin(), list.running.cend(),
                                         [](const PlayerInfo& player) { return player.spotify; });
    list.otherwise = spotifyRuns || spotifyInstalled() ? PlayerReading::notRunning()
                                                       : PlayerReading::notInstalled();
    return list;
}

PlayerReading MprisPlayers::read(const QString& busName) {
    const QDBusConnection bus = connection();
    PlayerReading reading = readPlayer(bus, busName);
    if (rankOf(busName) != 0) reading.player = identityOf(bus, busName);
    return reading;
}

PlayerReading MprisPlayers::readingFrom(const QVariantMap& playerProperties) {
    const QString status = playerProperties.value(QStringLiteral("PlaybackStatus")).toString();
    if (status != QLatin1String("Playing")) return PlayerReading::stopped();

    const QVariantMap metadata = toMap(playerProperties.value(QStringLiteral("Metadata")));
    PlayerReading reading =
        PlayerReading::playing(itemId(metadata.value(QStringLiteral("mpris:trackid"))),
                               metadata.value(QStringLiteral("xesam:title")).toString(),
                               toStringList(metadata.value(QStringLiteral("xesam:artist"))));
    reading.genres = toStringList(metadata.value(QStringLiteral("xesam:genre")));
    reading.album = metadata.value(QStringLiteral("xesam:album")).toString();
    reading.remainingMs = remainingMs(playerProperties, metadata);
    return reading;
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
    return std::make_unique<MprisPlayers>();
}

}  // namespace platform

#include "MprisPlayers.moc"
