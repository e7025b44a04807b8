#include "platform/ColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace platform {

std::optional<bool> desktopPrefersDark() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    // The value comes wrapped in one or two variants: 1 prefers dark, 2 prefers light.
    QVariant value = reply.arguments().first();
    while (value.canConvert<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
    switch (value.toUInt()) {
        case 1:
            return true;
        case 2:
            return false;
        default:
            return std::nullopt;
    }
}

namespace {

// One of XFCE's settings, from its settings daemon; none when it is not set or not running.
std::optional<QVariant> xfceSetting(const QString& channel, const QString& property) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
        QStringLiteral("org.xfce.Xfconf"), QStringLiteral("GetProperty"));
    call << channel << property;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    return reply.arguments().first().value<QDBusVariant>().variant();
}

bool desktopIs(const char* name) {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .contains(QLatin1String(name), Qt::CaseInsensitive);
}

}  // namespace

std::optional<bool> panelIsDark() {
    if (desktopIs("GNOME")) return true;
    if (!desktopIs("XFCE")) return std::nullopt;
    const std::optional<QVariant> darkMode =
        xfceSetting(QStringLiteral("xfce4-panel"), QStringLiteral("/panels/dark-mode"));
    if (darkMode && darkMode->toBool()) return true;
    const std::optional<QVariant> theme =
        xfceSetting(QStringLiteral("xsettings"), QStringLiteral("/Net/ThemeName"));
    if (!darkMode && !theme) return std::nullopt;  // no settings daemon to ask
    return theme && theme->toString().contains(QLatin1String("dark"), Qt::CaseInsensitive);
}

}  // namespace platform
