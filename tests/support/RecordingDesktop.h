#pragma once

#include <QList>

#include "platform/Desktop.h"

// A desktop that records the addresses it is asked to open and the questions it is asked,
// and answers them as the test scripted (cancel when nothing is scripted).
class RecordingDesktop final : public platform::Desktop {
  public:
    void openUrl(const QUrl& address) override { opened += address; }
    bool confirm(const Question& question) override {
        asked += question;
        return answers.isEmpty() ? false : answers.takeFirst();
    }

    QList<QUrl> opened;
    QList<Question> asked;
    QList<bool> answers;
};
