// The loopback listener's reading of whatever bytes a connection delivers, and its pages.

#include "Fuzz.h"
#include "signin/CallbackRequest.h"

namespace {

const QByteArray PAGE_HEAD = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n";

// A page answer: its Content-Length is the size of what follows the head, and the text it was
// given shows escaped, never as markup.
void checkPage(const QByteArray& response) {
    REQUIRE(response.startsWith(PAGE_HEAD));
    const qsizetype headEnd = response.indexOf("\r\n\r\n");
    REQUIRE(headEnd > 0);
    const QByteArray head = response.left(headEnd);
    const qsizetype length = head.indexOf("Content-Length: ");
    REQUIRE(length > 0);
    const QByteArray declared = head.mid(length + 16).split('\r').value(0);
    REQUIRE(declared.toLongLong() == response.size() - headEnd - 4);
    const QByteArray body = response.mid(headEnd + 4);
    REQUIRE(body.count("<div>") == 1 && body.count("</div>") == 1 && !body.contains("<script"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray request = fuzzBytes(data, size);
    const std::optional<CallbackQuery> query = callbackQuery(request);
    REQUIRE(!query || request.startsWith("GET /slack/callback"));
    if (!query) return 0;
    // Whatever a callback brought may end up in the page that says why a sign-in failed.
    for (const std::optional<QString>& value : {query->code, query->state, query->error}) {
        if (value) checkPage(notSignedInPage(*value));
    }
    return 0;
}
