#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#ifndef Q_OS_MACOS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace platform {

void QtDesktop::openUrl(const QUrl& address) {
    QDesktopServices::openUrl(address);
}

void QtDesktop::showInFileManager(const QString& path) {
#ifndef Q_OS_MACOS
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage) return;
#endif
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

int QtDesktop::alert(const Alert& alert) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Trackglint"));
    box.setIcon(alert.buttons.size() > 1 ? QMessageBox::Question : QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    // Outside text (a version from the network, an error message) must never render as markup.
    box.setTextFormat(Qt::PlainText);
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
    QList<QAbstractButton*> buttons;
    for (const QString& title : alert.buttons) {
        buttons += box.addButton(
            title, buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    }
    if (buttons.isEmpty()) buttons += box.addButton(QMessageBox::Ok);
    box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    box.setEscapeButton(buttons.last());
    box.exec();
    return std::max<int>(0, int(buttons.indexOf(box.clickedButton())));
}

}  // namespace platform
