#pragma once

#include <QByteArray>
#include <QString>

#include <curl/curl.h>
#include <functional>
#include <memory>
#include <vector>

namespace nvx {

class Host;

// How a transfer failed, whatever its protocol.
enum class TransferFailure {
    None,
    ConnectTimeout,  // no connection within the connection time-out
    ResponseTimeout, // connected, but the answer was not complete in time
    Refused,         // nothing listens there
    NotFound,        // the host name does not resolve
    Interrupted,     // the connection broke during the exchange
    Empty,           // the connection closed without any answer
    Tls,             // the secure channel could not be set up
    TooLarge,        // the answer went past the size the caller allowed
    Abandoned,       // the program is closing
    Other,
};

// The peer cannot be reached now: asking it again at once would only wait out the same
// time-out or meet the same refusal.
bool isUnreachable(TransferFailure failure);

// How one transfer ended.
struct TransferResult {
    CURLcode code = CURLE_OK; // CURLE_OK when the transfer completed
    TransferFailure failure = TransferFailure::None;
    QString erreur; // the library's own text; empty when the transfer completed
    bool ok() const { return failure == TransferFailure::None; }
};

// Runs libcurl transfers one at a time to completion while the host's pending events keep
// running, so the program stays responsive (and keeps receiving datagrams) during a slow
// exchange. Every client of the program (platform HTTP, mail, file transfer) prepares an easy
// handle with its own protocol options and hands it to run(). Connections and resolved names
// are shared by every transfer of one loop. Nested use from within a pump is safe: each run has
// its own multi handle.
class CurlLoop {
public:
    // Gives the handle back to its loop for the next transfer, cleared of every option.
    struct HandleReturn {
        CurlLoop* loop = nullptr;
        void operator()(CURL* easy) const;
    };
    using Handle = std::unique_ptr<CURL, HandleReturn>;

    explicit CurlLoop(Host& host);
    ~CurlLoop();
    CurlLoop(const CurlLoop&) = delete;
    CurlLoop& operator=(const CurlLoop&) = delete;

    // Seconds allowed to connect, then for the answer once connected; 0 or less keeps the
    // defaults (15 and 120).
    void setTimeouts(int connectSec, int answerSec);
    int connectTimeout() const { return connectSec_; }
    int answerTimeout() const { return answerSec_; }

    // Asked before a transfer and between waits: once it answers true, the transfer in
    // progress ends as Abandoned and no new one starts, so a program asked to close is not
    // held up by a peer that is slow to answer.
    std::function<bool()> abandon;

    // An easy handle without options but the loop's shared caches, idle since an earlier
    // transfer when there is one. Null when the library cannot make one.
    Handle handle();

    // Runs a prepared transfer to its end. The loop sets the time-outs, the error text and
    // signal-free resolving itself; when body is given, the answer is collected there (cut off
    // as TooLarge past maxBytes) and the write options are back to the library's defaults
    // afterwards. The handle stays the caller's, to read its information.
    TransferResult run(CURL* easy, QByteArray* body = nullptr, qsizetype maxBytes = kDefaultMaxBytes);

    // What a transfer may collect in memory unless the caller says otherwise.
    static constexpr qsizetype kDefaultMaxBytes = 16 * 1024 * 1024;

private:
    struct Idle;

    Host& host_;
    int connectSec_ = 15;
    int answerSec_ = 120;
    std::unique_ptr<Idle> idle_;
};

} // namespace nvx
