#pragma once

#include <QList>

#include "platform/Desktop.h"

// A desktop that records what it is asked to open or show and the alerts it shows, and
// answers them as the test scripted (the last button when nothing is scripted).
class RecordingDesktop final : public platform::Desktop {
  public:
    bool openUrl(const QUrl& address) override {
        opened += address;
        return browser;
    }
    void showInFileManager(const QString& path) override { shown += path; }
    int alert(const Alert& alert) override {
        alerts += alert;
        return answers.isEmpty() ? int(alert.buttons.size()) - 1 : answers.takeFirst();
    }

    void copy(const QString& text) override { copied += text; }

    QList<QUrl> opened;
    QStringList copied;
    QStringList shown;
    QList<Alert> alerts;
    QList<int> answers;
    bool browser = true;  // whether a browser opens addresses
};
