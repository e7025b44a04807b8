#pragma once

#include <QByteArray>
#include <QHash>

namespace platform {

// Reads one HTTP/1.1 response from a connection's bytes as they arrive: the status line, the
// headers, and a body sized by Content-Length, sent in chunks, or running to the end of the
// connection. Interim (1xx) responses are skipped.
class HttpResponseReader {
  public:
    enum class Progress { Incomplete, Complete, Broken };

    // Takes from the front of `input` what belongs to this response; bytes after its end stay.
    Progress read(QByteArray& input);
    // The connection has ended: completes a body that runs to the end, breaks anything else.
    Progress readEnd();

    int status() const { return status_; }
    const QByteArray& body() const { return body_; }
    // A header's value; names are matched without regard to case.
    QByteArray header(const QByteArray& name) const { return headers_.value(name.toLower()); }
    // Whether the connection may carry another request once this response is complete.
    bool keepsConnection() const { return keepAlive_ && framing_ != Framing::ToEnd; }

  private:
    enum class Framing { Sized, Chunked, ToEnd };
    enum class Stage { Head, Body, ChunkSize, ChunkData, Trailer, Done, Broken };

    Stage readHead(QByteArray& input);
    Stage readBody(QByteArray& input);
    Stage readChunkSize(QByteArray& input);
    Stage readChunkData(QByteArray& input);
    Stage readTrailer(QByteArray& input);

    Stage stage_ = Stage::Head;
    Framing framing_ = Framing::ToEnd;
    int status_ = 0;
    QHash<QByteArray, QByteArray> headers_;
    bool keepAlive_ = false;
    qint64 left_ = 0;  // bytes of the body, or of the current chunk, still to come
    QByteArray body_;
};

}  // namespace platform
