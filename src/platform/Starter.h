#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Starts another program that lives on by itself, independent of this one.
class Starter {
  public:
    virtual ~Starter() = default;
    // Starts `program` with exactly `arguments`; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

// A detached process, started in the user's home folder.
class DetachedStarter final : public Starter {
  public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

}  // namespace platform
