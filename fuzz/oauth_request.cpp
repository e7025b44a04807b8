// The loopback listener's answer to whatever bytes a connection delivers.

#include "Fuzz.h"
#include "signin/CallbackRequest.h"

namespace {

const QByteArray NOT_FOUND = "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n";
const QByteArray PAGE_HEAD = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n";

// A page answer: its Content-Length is the size of what follows the head.
void checkPage(const CallbackAnswer& answer) {
    REQUIRE(answer.response.startsWith(PAGE_HEAD));
    const qsizetype headEnd = answer.response.indexOf("\r\n\r\n");
    REQUIRE(headEnd > 0);
    const QByteArray head = answer.response.left(headEnd);
    const qsizetype length = head.indexOf("Content-Length: ");
    REQUIRE(length > 0);
    const QByteArray declared = head.mid(length + 16).split('\r').value(0);
    REQUIRE(declared.toLongLong() == answer.response.size() - headEnd - 4);
    REQUIRE(answer.response.contains("connected") == answer.query.code.has_value());
    REQUIRE(answer.report == (answer.query.code || answer.query.error));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray request = fuzzBytes(data, size);
    const CallbackAnswer answer = answerCallbackRequest(request);
    if (answer.response == NOT_FOUND) {
        REQUIRE(!answer.report && answer.query == CallbackQuery());
    } else {
        REQUIRE(request.startsWith("GET /slack/callback"));
        checkPage(answer);
    }
    return 0;
}
