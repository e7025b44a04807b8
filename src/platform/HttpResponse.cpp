#include "platform/HttpResponse.h"

#include <QList>
#include <algorithm>

namespace platform {
namespace {

// A head longer than this is not a reply from a server this program talks to.
constexpr qsizetype MAX_HEAD = 64 * 1024;
const QByteArray LINE_END = "\r\n";

}  // namespace

HttpResponseReader::Progress HttpResponseReader::read(QByteArray& input) {
    while (stage_ != Stage::Done && stage_ != Stage::Broken) {
        const Stage before = stage_;
        const qsizetype available = input.size();
        switch (stage_) {
            case Stage::Head:
                stage_ = readHead(input);
                break;
            case Stage::Body:
                stage_ = readBody(input);
                break;
            case Stage::ChunkSize:
                stage_ = readChunkSize(input);
                break;
            case Stage::ChunkData:
                stage_ = readChunkData(input);
                break;
            case Stage::Trailer:
                stage_ = readTrailer(input);
                break;
            case Stage::Done:
            case Stage::Broken:
                break;
        }
        if (stage_ == before && input.size() == available) break;  // waits for more bytes
    }
    if (stage_ == Stage::Done) return Progress::Complete;
    return stage_ == Stage::Broken ? Progress::Broken : Progress::Incomplete;
}

HttpResponseReader::Progress HttpResponseReader::readEnd() {
    if (stage_ == Stage::Body && framing_ == Framing::ToEnd) stage_ = Stage::Done;
    if (stage_ == Stage::Done) return Progress::Complete;
    stage_ = Stage::Broken;
    return Progress::Broken;
}

HttpResponseReader::Stage HttpResponseReader::readHead(QByteArray& input) {
    const qsizetype end = input.indexOf("\r\n\r\n");
    if (end < 0) return input.size() > MAX_HEAD ? Stage::Broken : Stage::Head;
    const QList<QByteArray> lines = input.left(end).split('\n');
    input.remove(0, end + 4);

    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    const QByteArray version = statusLine.first();
    bool numeric = false;
    status_ = statusLine.value(1).toInt(&numeric);
    if (!version.startsWith("HTTP/1.") || !numeric) return Stage::Broken;
    headers_.clear();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0) continue;
        QByteArray& value = headers_[lines[i].left(colon).trimmed().toLower()];
        value += (value.isEmpty() ? "" : ", ") + lines[i].mid(colon + 1).trimmed();
    }
    if (status_ >= 100 && status_ < 200) return Stage::Head;  // an interim response

    const QByteArray connection = header("connection").toLower();
    keepAlive_ =
        version == "HTTP/1.1" ? !connection.contains("close") : connection.contains("keep-alive");
    if (header("transfer-encoding").toLower().contains("chunked")) {
        framing_ = Framing::Chunked;
        return Stage::ChunkSize;
    }
    const bool bodiless = status_ == 204 || status_ == 304;
    if (!bodiless && !headers_.contains("content-length")) {
        framing_ = Framing::ToEnd;
        return Stage::Body;
    }
    framing_ = Framing::Sized;
    bool valid = true;
    left_ = bodiless ? 0 : header("content-length").toLongLong(&valid);
    if (!valid || left_ < 0) return Stage::Broken;
    return left_ == 0 ? Stage::Done : Stage::Body;
}

HttpResponseReader::Stage HttpResponseReader::readBody(QByteArray& input) {
    if (framing_ == Framing::ToEnd) {
        body_ += input;
        input.clear();
        return Stage::Body;
    }
    const qsizetype taken = qsizetype(std::min<qint64>(left_, input.size()));
    body_ += input.left(taken);
    input.remove(0, taken);
    left_ -= taken;
    return left_ == 0 ? Stage::Done : Stage::Body;
}

HttpResponseReader::Stage HttpResponseReader::readChunkSize(QByteArray& input) {
    const qsizetype end = input.indexOf(LINE_END);
    if (end < 0) return input.size() > MAX_HEAD ? Stage::Broken : Stage::ChunkSize;
    QByteArray line = input.left(end);
    input.remove(0, end + 2);
    if (const qsizetype extension = line.indexOf(';'); extension >= 0) line.truncate(extension);
    bool valid = false;
    left_ = line.trimmed().toLongLong(&valid, 16);
    if (!valid || left_ < 0) return Stage::Broken;
    return left_ == 0 ? Stage::Trailer : Stage::ChunkData;
}

HttpResponseReader::Stage HttpResponseReader::readChunkData(QByteArray& input) {
    const qsizetype taken = qsizetype(std::min<qint64>(left_, input.size()));
    body_ += input.left(taken);
    input.remove(0, taken);
    left_ -= taken;
    if (left_ > 0 || input.size() < LINE_END.size()) return Stage::ChunkData;
    if (!input.startsWith(LINE_END)) return Stage::Broken;
    input.remove(0, LINE_END.size());
    return Stage::ChunkSize;
}

HttpResponseReader::Stage HttpResponseReader::readTrailer(QByteArray& input) {
    const qsizetype end = input.indexOf(LINE_END);
    if (end < 0) return Stage::Trailer;
    input.remove(0, end + 2);
    return end == 0 ? Stage::Done : Stage::Trailer;  // an empty line ends the trailer
}

}  // namespace platform
