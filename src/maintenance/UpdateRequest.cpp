#include "maintenance/UpdateRequest.h"

namespace {

constexpr qsizetype ARGUMENT_COUNT = 9;

std::optional<qint64> number(const QString& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

}  // namespace

QStringList UpdateRequest::arguments() const {
    return {workFolder,
            archive.toString(QUrl::FullyEncoded),
            QString::fromUtf8(publicKey),
            expecting,
            running,
            installFolder,
            QString::number(limits.maxBytes),
            QString::number(limits.stallWindow.count()),
            QString::number(limits.stallBytes)};
}

std::optional<UpdateRequest> UpdateRequest::fromArguments(const QStringList& arguments) {
    if (arguments.size() != ARGUMENT_COUNT) return std::nullopt;
    const std::optional<qint64> maxBytes = number(arguments[6]);
    const std::optional<qint64> stallWindow = number(arguments[7]);
    const std::optional<qint64> stallBytes = number(arguments[8]);
    if (!maxBytes || !stallWindow || !stallBytes) return std::nullopt;
    const platform::DownloadLimits limits{*maxBytes, std::chrono::milliseconds(*stallWindow),
                                          *stallBytes};
    return UpdateRequest{arguments[0], QUrl(arguments[1]), arguments[2].toUtf8(),
                         arguments[3], arguments[4],       arguments[5],
                         limits};
}
