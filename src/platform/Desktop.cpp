#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

void QtDesktop::openUrl(const QUrl& address) {
    QDesktopServices::openUrl(address);
}

bool QtDesktop::confirm(const Question& question) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Trackglint"));
    box.setIcon(QMessageBox::Question);
    box.setText(question.message);
    box.setInformativeText(question.informativeText);
    QPushButton* confirmButton = box.addButton(question.confirmButton, QMessageBox::AcceptRole);
    box.addButton(question.cancelButton, QMessageBox::RejectRole);
    box.setDefaultButton(confirmButton);
    box.exec();
    return box.clickedButton() == confirmButton;
}

}  // namespace platform
