#include "maintenance/UpdateRequest.h"

namespace {

constexpr qsizetype ARGUMENT_COUNT = 5;

}  // namespace

QStringList UpdateRequest::arguments() const {
    return {workFolder, archive.toString(QUrl::FullyEncoded), expecting, running, installFolder};
}

std::optional<UpdateRequest> UpdateRequest::fromArguments(const QStringList& arguments) {
    if (arguments.size() != ARGUMENT_COUNT) return std::nullopt;
    return UpdateRequest{arguments[0], QUrl(arguments[1]), arguments[2], arguments[3],
                         arguments[4]};
}
