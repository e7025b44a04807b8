#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

namespace platform {

// The user's desktop: opening addresses in the default browser, showing files in the file
// manager, and modal alerts.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // Opens `address` in the default browser; false when there is none to open it.
    virtual bool openUrl(const QUrl& address) = 0;
    // Opens a file manager window with `path` selected, or, where none offers that, the folder
    // that holds it.
    virtual void showInFileManager(const QString& path) = 0;

    struct Alert {
        QString message;
        QString informativeText;
        // From the default button on; the last of two or more is the one Escape chooses. No
        // buttons: the platform's single OK.
        QStringList buttons;
    };
    // Shows `alert` modally and returns the index of the button chosen (0 for the lone OK).
    virtual int alert(const Alert& alert) = 0;
    // Puts `text` on the clipboard.
    virtual void copy(const QString& text) = 0;
};

// Qt's desktop services and message boxes, and the platform's file manager (its code in
// platform/linux/ or platform/macos/). Needs a QApplication.
class QtDesktop final : public Desktop {
  public:
    bool openUrl(const QUrl& address) override;
    void showInFileManager(const QString& path) override;
    int alert(const Alert& alert) override;
    void copy(const QString& text) override;
};

}  // namespace platform
