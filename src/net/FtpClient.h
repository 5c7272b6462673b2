#pragma once

#include "net/CurlLoop.h"
#include "net/FtpListing.h"

#include <QList>
#include <QString>

#include <functional>

namespace nvx {

class Host;

// The account an FTP test connects with.
struct FtpCompte {
    enum class Securite { Aucune, Ssl, Ssh }; // FTP, FTP over TLS, SFTP
    QString serveur;
    int port = 21;
    int delai = 60; // seconds allowed to connect, and for each answer
    QString user;
    QString password;
    Securite securite = Securite::Aucune;
    bool passif = true;
};

// What the reading of a folder gave: the entries read (even when the reading broke off), and
// whether the folder could be opened and read to its end.
struct FtpListe {
    enum class Etat { Lu, OuvertureImpossible, LectureInterrompue };
    Etat etat = Etat::Lu;
    QList<FtpEntry> entrees;
};

// A small FTP, FTP over TLS and SFTP client for checking an account: connect, list the current
// folder, move through the folders, disconnect. It changes nothing on the server. Every wait
// lets the host's pending events run, so a window stays usable and a pending connection can be
// cancelled. Each failure leaves a French reason in derniereErreur(); a password never appears
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

    // Logs in and goes to the account's start folder. False with derniereErreur() on failure,
    // including a connection cancelled by annuler().
    bool connecter(const FtpCompte& compte);
    // Ends the pending connection (called from an event handled during connecter()).
    void annuler();
    bool connecte() const;
    void deconnecter();

    // Detailed listing of the current folder: MLSD where the server offers it, else LIST.
    FtpListe lister();
    // Goes to chemin: absolute ("/music/new"), or relative to the current folder ("new", "..",
    // "music/.."). False with derniereErreur() when the folder cannot be entered; the current
    // folder is then unchanged.
    bool changerDossier(const QString& chemin);
    // The current folder, absolute, "/" separated, without a trailing "/" but for the root.
    QString dossierCourant() const;

    QString derniereErreur() const;

private:
    struct Etat;
    std::unique_ptr<Etat> d_;
};

} // namespace nvx
