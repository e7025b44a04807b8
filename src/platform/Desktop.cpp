#include "platform/Desktop.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

bool QtDesktop::openUrl(const QUrl& address) {
    return QDesktopServices::openUrl(address);
}

int QtDesktop::alert(const Alert& alert) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Trackglint"));
    box.setIcon(alert.buttons.size() > 1 ? QMessageBox::Question : QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    // Outside text (a version from the network, an error message) must never render as markup.
    box.setTextFormat(Qt::PlainText);
    // Selectable, so an address or an error message can be copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (auto* informative = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setTextFormat(Qt::PlainText);
        informative->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                             Qt::TextSelectableByKeyboard);
    }
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

void QtDesktop::copy(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}

}  // namespace platform
