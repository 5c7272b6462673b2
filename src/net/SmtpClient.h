#pragma once

#include "net/CurlLoop.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace nvx {

class Host;

// The server a mail goes through and how to reach it.
struct SmtpAccount {
    enum class Security { None = 0, StartTls = 1, ImplicitTls = 2 };
    QString server;
    int port = 587;
    Security security = Security::StartTls;
    QString user; // no login when empty
    QString password;
    // PEM file of the authorities trusted for the server's certificate; empty: the system's.
    QString caFile;
};

// How one sending ended: the transfer's result, and when it failed, a French reason for the
// operator. The reason never holds the password.
struct SmtpResult {
    TransferResult transfer;
    QString reason;
    bool ok() const { return transfer.ok(); }
};

// Sends one prepared message (headers and body, CR LF line ends) over SMTP on a CurlLoop, so the
// host's pending events keep running while the server answers. The secure channel is required
// when the account asks for one and the server's certificate is always verified.
class SmtpClient {
public:
    explicit SmtpClient(Host& host);
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    // Seconds allowed to connect, then for the whole exchange once connected.
    void setTimeouts(int connectSec, int answerSec) { loop_.setTimeouts(connectSec, answerSec); }

    // Asked between waits: once true, the sending in progress ends as a failure.
    std::function<bool()> abandon;

    // Every address of recipients gets the message, copies included.
    SmtpResult send(const SmtpAccount& account, const QString& from, const QStringList& recipients,
                    const QByteArray& message);

    // The French reason for a failed transfer; empty when it succeeded.
    static QString reasonFor(const TransferResult& result);

private:
    CurlLoop loop_;
};

} // namespace nvx
