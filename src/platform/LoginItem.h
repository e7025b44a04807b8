#pragma once

#include <QString>
#include <optional>

namespace platform {

// Whether the program starts by itself when the user logs in. The platform's registration is
// the only record: it is read afresh every time.
class LoginItem {
  public:
    virtual ~LoginItem() = default;
    virtual bool enabled() const = 0;
    // Registers (true) or unregisters (false) the program; on failure, the reason.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};

// An XDG autostart entry, "trackglint.desktop" in $XDG_CONFIG_HOME/autostart (by default
// ~/.config/autostart), that starts `program`. The program starts at login while the entry
// exists and is not hidden.
class XdgAutostart final : public LoginItem {
  public:
    explicit XdgAutostart(QString program);

    bool enabled() const override;
    std::optional<QString> setEnabled(bool enabled) override;

    static QString entryPath();

  private:
    QString program_;
};

}  // namespace platform
