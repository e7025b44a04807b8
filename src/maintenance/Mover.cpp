#include "maintenance/Mover.h"

#include <QDir>
#include <QFileInfo>

#include "maintenance/InstallCopy.h"
#include "platform/Bundle.h"

Mover::Mover(platform::Starter& starter, std::optional<QString> runningBundle,
             QString installFolder, Distribution distribution, std::function<void()> quit)
    : starter_(starter),
      runningBundle_(std::move(runningBundle)),
      installFolder_(std::move(installFolder)),
      distribution_(distribution),
      quit_(std::move(quit)) {}

bool Mover::inPlace() const {
    const QString canonical = QFileInfo(installFolder_).canonicalFilePath();
    return runningBundle_->startsWith(installFolder_ + u'/') ||
           (!canonical.isEmpty() && runningBundle_->startsWith(canonical + u'/'));
}

bool Mover::offersMove() const {
    return distribution_ == Distribution::SelfManaged && runningBundle_ && !inPlace() &&
           !inBuildTree();
}

// A copy the build just made, run from its build folder: a developer's, not one to install.
bool Mover::inBuildTree() const {
    return QFileInfo::exists(QFileInfo(*runningBundle_).absolutePath() +
                             QStringLiteral("/CMakeCache.txt"));
}

QString Mover::runningFolderName() const {
    // The last component, which for the user's standard folders is already in the user's
    // language.
    const QString folder = QFileInfo(runningBundle_.value_or(QString())).absolutePath();
    const QString name = QFileInfo(folder).fileName();
    return name.isEmpty() ? folder : name;
}

Mover::Result Mover::moveToApplications() {
    if (!runningBundle_) return {};
    if (std::optional<QString> error = installCopy(*runningBundle_, installFolder_)) {
        return {false, std::move(error)};
    }
    const QString installed = platform::executableIn(installedBundle(installFolder_));
    if (!starter_.startDetached(installed, {QStringLiteral("--moved")})) return {};
    QDir(*runningBundle_).removeRecursively();
    quit_();
    return {true, std::nullopt};
}

std::optional<QString> runningBundlePath() {
    const std::optional<platform::Bundle> bundle = platform::Bundle::current();
    if (!bundle) return std::nullopt;
    return bundle->path();
}
