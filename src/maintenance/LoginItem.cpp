// Launch at login: the platform's registration is the only record of the choice.

#include "main/AppDelegate.h"

void AppDelegate::toggleLoginItem() {
    const std::optional<QString> failure = loginItem_->setEnabled(!loginItem_->enabled());
    if (failure) setLastError(QStringLiteral("Login item: ") + *failure);
}
