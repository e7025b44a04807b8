#include "FakeSpotify.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <atomic>

namespace {
const QString OBJECT_PATH = QStringLiteral("/org/mpris/MediaPlayer2");

QString uniqueConnectionName() {
    static std::atomic<int> count = 0;
    return QStringLiteral("fake-spotify-%1").arg(++count);
}
}  // namespace

// The exported object; its state is read by the bus on the fake's thread and written by the
// test's thread.
class MprisPlayerObject : public QObject {
  public:
    explicit MprisPlayerObject(QString name) : name(std::move(name)) {}

    QString playbackStatus() const {
        QMutexLocker lock(&mutex);
        return status;
    }
    QVariantMap metadata() const {
        QMutexLocker lock(&mutex);
        return items;
    }

    const QString name;
    mutable QMutex mutex;
    QString status = QStringLiteral("Stopped");
    QVariantMap items;
};

// org.mpris.MediaPlayer2, as the Spotify app answers it.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(bool CanQuit READ yes)
    Q_PROPERTY(bool CanRaise READ no)
    Q_PROPERTY(bool HasTrackList READ no)
    Q_PROPERTY(QStringList SupportedUriSchemes READ schemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes)

  public:
    explicit MprisRoot(MprisPlayerObject* player) : QDBusAbstractAdaptor(player), player_(player) {}
    QString identity() const { return desktopEntry() == "spotify" ? "Spotify" : desktopEntry(); }
    QString desktopEntry() const { return player_->name.section(u'.', 0, 0); }
    bool yes() const { return true; }
    bool no() const { return false; }
    QStringList schemes() const { return {"spotify"}; }
    QStringList mimeTypes() const { return {}; }

  public slots:
    void Raise() {}
    void Quit() {}

  private:
    MprisPlayerObject* player_;
};

// org.mpris.MediaPlayer2.Player: what plays, and what a controller may ask of it.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanControl READ yes)
    Q_PROPERTY(bool CanPlay READ yes)
    Q_PROPERTY(bool CanPause READ yes)
    Q_PROPERTY(bool CanGoNext READ yes)
    Q_PROPERTY(bool CanGoPrevious READ yes)

  public:
    explicit MprisPlayer(MprisPlayerObject* player)
        : QDBusAbstractAdaptor(player), player_(player) {}
    QString playbackStatus() const { return player_->playbackStatus(); }
    QVariantMap metadata() const { return player_->metadata(); }
    qlonglong position() const { return 15'000'000; }
    bool yes() const { return true; }

  private:
    MprisPlayerObject* player_;
};

FakeSpotify::FakeSpotify(const QString& busAddress, const QString& name)
    : service_(QStringLiteral("org.mpris.MediaPlayer2.") + name),
      bus_(QDBusConnection::connectToBus(busAddress, uniqueConnectionName())),
      player_(new MprisPlayerObject(name)) {
    new MprisRoot(player_);
    new MprisPlayer(player_);
    player_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, player_, &QObject::deleteLater);
    thread_.start();
    bus_.registerObject(OBJECT_PATH, player_, QDBusConnection::ExportAdaptors);
}

FakeSpotify::~FakeSpotify() {
    quit();
    bus_.unregisterObject(OBJECT_PATH);
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(bus_.name());
}

bool FakeSpotify::run() {
    return bus_.registerService(service_);
}

void FakeSpotify::quit() {
    bus_.unregisterService(service_);
}

void FakeSpotify::play(const QString& title, const QStringList& artists, const QString& trackId,
                       const QStringList& genres) {
    const QVariant id = trackId.startsWith(u'/') ? QVariant::fromValue(QDBusObjectPath(trackId))
                                                 : QVariant(trackId);
    QVariantMap metadata{
        {QStringLiteral("mpris:trackid"), id},
        {QStringLiteral("xesam:title"), title},
        {QStringLiteral("xesam:artist"), artists},
        {QStringLiteral("xesam:album"), QStringLiteral("Album")},
        {QStringLiteral("xesam:genre"), genres},
        {QStringLiteral("xesam:url"), QStringLiteral("https://open.spotify.com/track/1")}};
    if (length_) metadata.insert(QStringLiteral("mpris:length"), *length_);
    setState(QStringLiteral("Playing"), metadata);
}

void FakeSpotify::setLength(std::optional<qint64> microseconds) {
    length_ = microseconds;
}

void FakeSpotify::pause() {
    setState(QStringLiteral("Paused"), player_->metadata());
}

void FakeSpotify::breakPlayer() {
    bus_.unregisterObject(OBJECT_PATH);
}

void FakeSpotify::stop() {
    setState(QStringLiteral("Stopped"), {});
}

// Stores the new state and signals what of it changed, as players do.
void FakeSpotify::setState(const QString& status, const QVariantMap& metadata) {
    QVariantMap changed;
    {
        QMutexLocker lock(&player_->mutex);
        if (player_->status != status) changed.insert(QStringLiteral("PlaybackStatus"), status);
        if (player_->items != metadata) changed.insert(QStringLiteral("Metadata"), metadata);
        player_->status = status;
        player_->items = metadata;
    }
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(OBJECT_PATH, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    bus_.send(signal);
}

#include "FakeSpotify.moc"
