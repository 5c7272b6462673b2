#pragma once

#include <QString>

namespace nvx {

// The FTP account under which the platform fetches the station's sounds (first row of the
// FTP settings).
struct PlatformFtpAccount {
    QString Serveur;
    QString NoPort;
    QString User;
    QString PW;
    int Cnx = 0; // 0 active, 1 passive; the platform is always told 0
    QString Dossier = QStringLiteral("/");
    bool SecureSSL = false;
    bool SecureSSH = false;
    bool Retry = false; // the platform is always told 1
};

// Everything the platform client needs from the settings; the application fills it so that
// this library does not depend on the configuration subsystem.
struct PlatformConfig {
    QString URL;             // scheme, host and optional port; "/vlapi" is appended; empty = not configured
    QString Cle;             // installation key
    QString Secret;          // installation secret
    int DelaiConnexion = 15; // seconds to establish the connection
    int DelaiReponse = 120;  // seconds for the answer once connected
    // Authorities trusted for an https platform's certificate: a PEM file in suite form; empty:
    // the system's store. The certificate and the host name are verified either way.
    QString CertificatsCA;
    QString DossierXML; // folder (suite form) of the answer copies
    // Every answer is also written to the XML folder and kept there, for diagnosis; otherwise
    // answers stay in memory only.
    bool ConserverReponses = false;
    PlatformFtpAccount Ftp;
};

} // namespace nvx
