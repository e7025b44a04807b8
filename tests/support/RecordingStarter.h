#pragma once

#include <QList>
#include <QStringList>

#include "platform/Starter.h"

// Records the programs it is asked to start, each with its arguments, and starts none.
class RecordingStarter final : public platform::Starter {
  public:
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started += QStringList{program} + arguments;
        return true;
    }
    QList<QStringList> started;
};
