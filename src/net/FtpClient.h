#pragma once

#include "net/CurlLoop.h"
#include "net/FtpListing.h"

#include <QList>
#include <QString>

#include <functional>

namespace nvx {

class Host;

// The account an FTP test connects with.
struct FtpAccount {
    enum class Security { None, Ssl, Ssh }; // FTP, FTP over TLS, SFTP
    QString server;
    int port = 21;
    int timeoutSec = 60; // seconds allowed to connect, and for each answer
    QString user;
    QString password;
    Security security = Security::None;
    bool passive = true;
};

// What the reading of a folder gave: the entries read (even when the reading broke off), and
// whether the folder could be opened and read to its end.
struct FtpListingResult {
    enum class State { Complete, OpenFailed, ReadBroken };
    State state = State::Complete;
    QList<FtpEntry> entries;
};

// A small FTP, FTP over TLS and SFTP client for checking an account: connect, list the current
// folder, move through the folders, disconnect. It changes nothing on the server. Every wait
// lets the host's pending events run, so a window stays usable and a pending connection can be
// cancelled. Each failure leaves a French reason in lastError(); a password never appears
// in it.
class FtpClient {
public:
    explicit FtpClient(Host& host);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Asked between waits: once true, the operation in progress ends as a failure (the program
    // is closing).
    std::function<bool()> abandon;

    // Logs in and goes to the account's start folder. False with lastError() on failure,
    // including a connection cancelled by cancel().
    bool open(const FtpAccount& account);
    // Ends the pending connection (called from an event handled during open()).
    void cancel();
    bool isOpen() const;
    void close();

    // Detailed listing of the current folder: MLSD where the server offers it, else LIST.
    FtpListingResult list();
    // Goes to path: absolute ("/music/new"), or relative to the current folder ("new", "..",
    // "music/.."). False with lastError() when the folder cannot be entered; the current
    // folder is then unchanged.
    bool changeFolder(const QString& path);
    // The current folder, absolute, "/" separated, without a trailing "/" but for the root.
    QString currentFolder() const;

    QString lastError() const;

private:
    struct Private;
    std::unique_ptr<Private> d_;
};

} // namespace nvx
