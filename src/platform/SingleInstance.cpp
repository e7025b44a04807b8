#include "platform/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>
#include <chrono>
#include <csignal>
#include <optional>

#include <unistd.h>

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

namespace {

std::optional<pid_t> holderProcess(const QDBusConnection& bus) {
    const QDBusReply<uint> pid = bus.interface()->servicePid(SingleInstance::NAME);
    if (!pid.isValid() || pid.value() == 0 || pid_t(pid.value()) == ::getpid()) return std::nullopt;
    return pid_t(pid.value());
}

bool nameFreeWithin(const QDBusConnection& bus, std::chrono::milliseconds wait) {
    QDeadlineTimer deadline(wait);
    while (bus.interface()->isServiceRegistered(SingleInstance::NAME).value()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(100);
    }
    return true;
}

}  // namespace

bool SingleInstance::endHolder() {
    using namespace std::chrono_literals;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const std::optional<pid_t> holder = holderProcess(bus);
    if (!holder) return nameFreeWithin(bus, 0ms);
    ::kill(*holder, SIGTERM);
    // A stopped process handles no signal until it runs again.
    ::kill(*holder, SIGCONT);
    if (nameFreeWithin(bus, 3s)) return true;
    ::kill(*holder, SIGKILL);
    return nameFreeWithin(bus, 3s);
}

void SingleInstance::nameLost(const QString& name) {
    if (name == NAME) emit replaced();
}

}  // namespace platform
