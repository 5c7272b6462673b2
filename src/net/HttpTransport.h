#pragma once

#include "net/CurlLoop.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace nvx {

class Host;

// What came back from one HTTP exchange. A transport failure (no connection, time-out, name
// not resolved) leaves the body empty, says what kind of failure it was, and keeps the HTTP
// library's own text in erreur for the trace.
struct HttpAnswer {
    using Failure = TransferFailure;

    QByteArray body;
    long status = 0;  // HTTP status line code, 0 when none came
    int curlCode = 0; // 0 when the exchange completed
    QString erreur;   // empty when the exchange completed
    Failure failure = Failure::None;
    bool repondu() const { return failure == Failure::None; }
    // The platform cannot be reached now: asking it again within the same job would only wait
    // out the same time-out or meet the same refusal.
    bool unreachable() const { return isUnreachable(failure); }
};

// Sends requests over HTTP, on a CurlLoop: every wait lets the host's pending events run, and
// connections are kept between requests.
class HttpTransport {
public:
    explicit HttpTransport(Host& host);
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    // Seconds allowed to connect, then for the answer once connected.
    void setDelais(int connexionSec, int reponseSec) { loop_.setTimeouts(connexionSec, reponseSec); }
    // Authorities trusted for an https peer's certificate: a PEM file (native path), which then
    // replaces the system's store; empty: the system's store. The peer's certificate and host name are
    // verified either way. A file that is not there fails every https exchange as a TLS failure that names
    // it, rather than falling back to the system's store.
    void setCaFile(const QString& nativeFile) { caFile_ = nativeFile; }

    // Asked before a request and between waits: once it answers true, the exchange in
    // progress ends as a failure and no new one starts, so a program asked to close is not
    // held up by a platform that is slow to answer.
    std::function<bool()> abandon;

    HttpAnswer get(const QString& url);
    // Body sent as "text/xml; charset=UTF-8".
    HttpAnswer post(const QString& url, const QByteArray& body);

    static const char* userAgent();
    // No platform answer comes near this; a peer that sends more is cut off.
    static constexpr qsizetype kMaxAnswerBytes = CurlLoop::kDefaultMaxBytes;

private:
    HttpAnswer send(const QString& url, const QByteArray* body);

    CurlLoop loop_;
    QString caFile_;
};

} // namespace nvx
