// Launch at login: the platform's registration is the only record of the choice.

#include "maintenance/LoginItem.h"

void toggleLoginItem(platform::LoginItem& loginItem, AppState& state) {
    const std::optional<QString> failure = loginItem.setEnabled(!loginItem.enabled());
    if (failure) state.setLastError(QStringLiteral("Login item: ") + *failure);
}
