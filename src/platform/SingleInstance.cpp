#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace platform {
namespace {

const QString OBJECT_PATH = QStringLiteral("/");
// How long a second copy waits for the running one to answer.
constexpr int CALL_TIMEOUT_MS = 5'000;

}  // namespace

SingleInstance::Claim SingleInstance::claim(bool takeOver) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return Claim::NoBus;
    bus.registerObject(OBJECT_PATH, this, QDBusConnection::ExportScriptableSlots);
    bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameLost"), this,
                SLOT(nameLost(QString)));
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(NAME,
                                         takeOver ? QDBusConnectionInterface::ReplaceExistingService
                                                  : QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::AllowReplacement);
    if (!reply.isValid()) return Claim::NoBus;
    if (reply.value() == QDBusConnectionInterface::ServiceRegistered) return Claim::Owned;
    return Claim::HeldByAnother;
}

bool SingleInstance::showRunningDashboard() {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(NAME, OBJECT_PATH, NAME, QStringLiteral("ShowDashboard"));
    return QDBusConnection::sessionBus().call(call, QDBus::Block, CALL_TIMEOUT_MS).type() ==
           QDBusMessage::ReplyMessage;
}

void SingleInstance::nameLost(const QString& name) {
    if (name == NAME) emit quitRequested();
}

}  // namespace platform
