#include "maintenance/Mover.h"

#include <QDir>
#include <QFileInfo>

#include "maintenance/InstallCopy.h"
#include "platform/Bundle.h"

namespace {

// The name of the folder holding `bundlePath`, as the file manager shows it: its last
// component, which for the user's standard folders is already in the user's language.
QString folderName(const QString& bundlePath) {
    const QString folder = QFileInfo(bundlePath).absolutePath();
    const QString name = QFileInfo(folder).fileName();
    return name.isEmpty() ? folder : name;
}

}  // namespace

Mover::Mover(platform::Desktop& desktop, platform::Starter& starter,
             std::optional<QString> runningBundle, QString installFolder,
             std::function<void()> quit)
    : desktop_(desktop),
      starter_(starter),
      runningBundle_(std::move(runningBundle)),
      installFolder_(std::move(installFolder)),
      quit_(std::move(quit)) {}

bool Mover::inPlace() const {
    const QString canonical = QFileInfo(installFolder_).canonicalFilePath();
    return runningBundle_->startsWith(installFolder_ + u'/') ||
           (!canonical.isEmpty() && runningBundle_->startsWith(canonical + u'/'));
}

bool Mover::offerMoveToApplications() {
    if (!runningBundle_ || inPlace()) return false;
    const int answer = desktop_.alert(
        {QStringLiteral("Move Trackglint to Applications?"),
         QStringLiteral("Trackglint is running from ") + folderName(*runningBundle_) +
             QStringLiteral(". It'll move itself to your Applications folder — where apps "
                            "belong — and carry on."),
         {QStringLiteral("Move to Applications"), QStringLiteral("Not Now")}});
    if (answer != 0) return false;
    if (const std::optional<QString> error = installCopy(*runningBundle_, installFolder_)) {
        desktop_.alert({QStringLiteral("Couldn't move automatically"),
                        QStringLiteral("Drag Trackglint into Applications yourself, then reopen "
                                       "it. (") +
                            *error + u')',
                        {}});
        return false;
    }
    const QString installed = platform::executableIn(installedBundle(installFolder_));
    if (!starter_.startDetached(installed, {QStringLiteral("--moved")})) return false;
    QDir(*runningBundle_).removeRecursively();
    quit_();
    return true;
}

std::optional<QString> runningBundlePath() {
    const std::optional<platform::Bundle> bundle = platform::Bundle::current();
    if (!bundle) return std::nullopt;
    return bundle->path();
}
