#include "FakeSpotify.h"

#include <QDBusMessage>

#include <QDBusObjectPath>
#include <atomic>

namespace {
const QString SERVICE = QStringLiteral("org.mpris.MediaPlayer2.spotify");

QString uniqueConnectionName() {
    static std::atomic<int> count = 0;
    return QStringLiteral("fake-spotify-%1").arg(++count);
}
}  // namespace

// The exported object; its properties are read by the bus on the fake's thread and written
// by the test's thread.
class MprisPlayerObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QVariantMap Metadata READ metadata)

  public:
    QString playbackStatus() const {
        QMutexLocker lock(&mutex);
        return status;
    }
    QVariantMap metadata() const {
        QMutexLocker lock(&mutex);
        return items;
    }

    mutable QMutex mutex;
    QString status = QStringLiteral("Stopped");
    QVariantMap items;
};

FakeSpotify::FakeSpotify(const QString& busAddress)
    : bus_(QDBusConnection::connectToBus(busAddress, uniqueConnectionName())),
      player_(new MprisPlayerObject) {
    player_->moveToThread(&thread_);
    QObject::connect(&thread_, &QThread::finished, player_, &QObject::deleteLater);
    thread_.start();
    bus_.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), player_,
                        QDBusConnection::ExportAllProperties);
}

FakeSpotify::~FakeSpotify() {
    quit();
    bus_.unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
    thread_.quit();
    thread_.wait();
    QDBusConnection::disconnectFromBus(bus_.name());
}

bool FakeSpotify::run() {
    return bus_.registerService(SERVICE);
}

void FakeSpotify::quit() {
    bus_.unregisterService(SERVICE);
}

void FakeSpotify::play(const QString& title, const QStringList& artists, const QString& kind,
                       IdForm form) {
    const QString id = QStringLiteral("4uLU6hMCjMI75M1A2tKUQC");
    const QVariant trackId = form == IdForm::Text
                                 ? QVariant(QStringLiteral("spotify:%1:%2").arg(kind, id))
                                 : QVariant::fromValue(QDBusObjectPath(
                                       QStringLiteral("/com/spotify/%1/%2").arg(kind, id)));
    setState(QStringLiteral("Playing"), {{QStringLiteral("mpris:trackid"), trackId},
                                         {QStringLiteral("xesam:title"), title},
                                         {QStringLiteral("xesam:artist"), artists}});
}

void FakeSpotify::pause() {
    setState(QStringLiteral("Paused"), player_->metadata());
}

void FakeSpotify::breakPlayer() {
    bus_.unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
}

void FakeSpotify::stop() {
    setState(QStringLiteral("Stopped"), {});
}

void FakeSpotify::setState(const QString& status, const QVariantMap& metadata) {
    {
        QMutexLocker lock(&player_->mutex);
        player_->status = status;
        player_->items = metadata;
    }
    QDBusMessage changed = QDBusMessage::createSignal(
        QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    changed << QStringLiteral("org.mpris.MediaPlayer2.Player")
            << QVariantMap{{QStringLiteral("PlaybackStatus"), status},
                           {QStringLiteral("Metadata"), metadata}}
            << QStringList();
    bus_.send(changed);
}

#include "FakeSpotify.moc"
