#pragma once

#include <QString>
#include <QUrl>

namespace platform {

// The user's desktop: opening addresses in the default browser, and modal questions.
class Desktop {
  public:
    virtual ~Desktop() = default;

    virtual void openUrl(const QUrl& address) = 0;

    struct Question {
        QString message;
        QString informativeText;
        QString confirmButton;  // the default button
        QString cancelButton;
    };
    // Shows `question` modally; true when the user chose the confirm button.
    virtual bool confirm(const Question& question) = 0;
};

// Qt's desktop services and message boxes. Needs a QApplication.
class QtDesktop final : public Desktop {
  public:
    void openUrl(const QUrl& address) override;
    bool confirm(const Question& question) override;
};

}  // namespace platform
