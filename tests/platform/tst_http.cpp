#include <QTest>

#include "platform/HttpResponse.h"

using platform::HttpResponseReader;

// Replies as servers frame them, read whole and byte by byte as a slow connection hands them
// over.
class HttpTest : public QObject {
    Q_OBJECT

  private slots:
    void readsEachFraming_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("keepsConnection");
        QTest::addColumn<bool>("endsWithConnection");

        QTest::newRow("sized") << QByteArray(
                                      "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n"
                                      "{\"ok\":true}")
                               << 200 << QByteArray("{\"ok\":true}") << true << false;
        QTest::newRow("chunked, with an extension and a trailer")
            << QByteArray(
                   "HTTP/1.1 429 Too Many\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "6;x=y\r\n{\"ok\":\r\n5\r\nfalse\r\n1\r\n}\r\n0\r\nX-Done: 1\r\n\r\n")
            << 429 << QByteArray("{\"ok\":false}") << true << false;
        QTest::newRow("after an interim reply, asking to close")
            << QByteArray(
                   "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nConnection: close\r\n"
                   "Content-Length: 2\r\n\r\n[]")
            << 200 << QByteArray("[]") << false << false;
        QTest::newRow("no length: up to the end")
            << QByteArray("HTTP/1.0 502 Bad Gateway\r\n\r\n<html>") << 502 << QByteArray("<html>")
            << false << true;
        QTest::newRow("no content") << QByteArray("HTTP/1.1 204 No Content\r\n\r\n") << 204
                                    << QByteArray() << true << false;
    }
    void readsEachFraming() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, endsWithConnection);
        // The start of a following reply stays for it, unless the body runs to the end.
        const QByteArray next = endsWithConnection ? "" : "HTTP/1.1 200";
        const QByteArray bytes = reply + next;
        for (const qsizetype piece : {bytes.size(), qsizetype(1)}) {
            HttpResponseReader reader;
            QByteArray input;
            HttpResponseReader::Progress progress = HttpResponseReader::Progress::Incomplete;
            for (qsizetype at = 0; at < bytes.size(); at += piece) {
                input += bytes.mid(at, piece);
                progress = reader.read(input);
            }
            if (endsWithConnection) {
                QCOMPARE(progress, HttpResponseReader::Progress::Incomplete);
                progress = reader.readEnd();
            } else {
                QCOMPARE(input, next);
            }
            QCOMPARE(progress, HttpResponseReader::Progress::Complete);
            QTEST(reader.status(), "status");
            QTEST(reader.body(), "body");
            QTEST(reader.keepsConnection(), "keepsConnection");
        }
    }

    void rejectsWhatIsNotHttp() {
        for (const QByteArray& reply : {QByteArray("SSH-2.0-OpenSSH\r\n\r\n"),
                                        QByteArray("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n"),
                                        QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked"
                                                   "\r\n\r\nzz\r\n")}) {
            HttpResponseReader reader;
            QByteArray input = reply;
            QCOMPARE(reader.read(input), HttpResponseReader::Progress::Broken);
        }
        HttpResponseReader cut;
        QByteArray input = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n{\"ok\"";
        QCOMPARE(cut.read(input), HttpResponseReader::Progress::Incomplete);
        QCOMPARE(cut.readEnd(), HttpResponseReader::Progress::Broken);
    }
};

QTEST_GUILESS_MAIN(HttpTest)
#include "tst_http.moc"
