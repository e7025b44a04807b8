// trackglint-update: the agent's update helper. The agent starts it for one install, with the
// request as its arguments, and reads how it ended from its exit status and its standard
// output. Downloading, unpacking and checking in a process of its own keeps libarchive and
// libsodium out of the agent, and a download that crashes them cannot take the agent down. The
// key it checks with and the bounds of the download are its own (update/BuiltIn.h).

#include <QCoreApplication>
#include <cstdio>

#include "update/BuiltIn.h"
#include "update/FetchAndInstall.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const std::optional<UpdateRequest> request =
        UpdateRequest::fromArguments(QCoreApplication::arguments().mid(1));
    if (!request) {
        std::fputs("trackglint-update: run by Trackglint to install an update\n", stderr);
        return 2;
    }
    const UpdateReport report = fetchAndInstall(*request, HELPER_BUILT_IN);
    std::fputs(report.detail.toUtf8().constData(), stdout);
    return int(report.outcome);
}
