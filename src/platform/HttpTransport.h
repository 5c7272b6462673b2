#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace nvx {

class Host;

// What came back from one HTTP exchange. A transport failure (no connection, time-out, name
// not resolved) leaves the body empty and says why in erreur.
struct HttpAnswer {
    QByteArray body;
    long status = 0;  // HTTP status line code, 0 when none came
    int curlCode = 0; // 0 when the exchange completed
    QString erreur;   // empty when the exchange completed
    bool repondu() const { return erreur.isEmpty(); }
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

private:
    HttpAnswer send(const QString& url, const QByteArray* body);

    Host& host_;
    int connexionSec_ = 15;
    int reponseSec_ = 120;
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

} // namespace nvx
