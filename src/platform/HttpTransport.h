#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace nvx {

class Host;

// What came back from one HTTP exchange. A transport failure (no connection, time-out, name
// not resolved) leaves the body empty, says what kind of failure it was, and keeps the HTTP
// library's own text in erreur for the trace.
struct HttpAnswer {
    enum class Failure {
        None,
        ConnectTimeout,  // no connection within the connection time-out
        ResponseTimeout, // connected, but the answer was not complete in time
        Refused,         // nothing listens there
        NotFound,        // the host name does not resolve
        Interrupted,     // the connection broke during the exchange
        Empty,           // the connection closed without any answer
        Tls,             // the secure channel could not be set up
        TooLarge,        // the answer went past the size any platform answer can have
        Abandoned,       // the program is closing
        Other,
    };

    QByteArray body;
    long status = 0;  // HTTP status line code, 0 when none came
    int curlCode = 0; // 0 when the exchange completed
    QString erreur;   // empty when the exchange completed
    Failure failure = Failure::None;
    bool repondu() const { return failure == Failure::None; }
    // The platform cannot be reached now: asking it again within the same job would only wait
    // out the same time-out or meet the same refusal.
    bool unreachable() const;
};

// Sends the platform's requests over HTTP. Every wait lets the host's pending events run, so
// the program stays responsive (and keeps receiving datagrams) while the platform answers.
// Connections are kept between requests. Nested use from within a pump is safe: each request
// has its own transfer.
class HttpTransport {
public:
    explicit HttpTransport(Host& host);
    ~HttpTransport();
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // Seconds allowed to connect, then for the answer once connected.
    void setDelais(int connexionSec, int reponseSec);

    // Asked before a request and between waits: once it answers true, the exchange in
    // progress ends as a failure and no new one starts, so a program asked to close is not
    // held up by a platform that is slow to answer.
    std::function<bool()> abandon;

    HttpAnswer get(const QString& url);
    // Body sent as "text/xml; charset=UTF-8".
    HttpAnswer post(const QString& url, const QByteArray& body);

    static const char* userAgent();
    // No platform answer comes near this; a peer that sends more is cut off.
    static constexpr qsizetype kMaxAnswerBytes = 16 * 1024 * 1024;

private:
    HttpAnswer send(const QString& url, const QByteArray* body);

    Host& host_;
    int connexionSec_ = 15;
    int reponseSec_ = 120;
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

} // namespace nvx
