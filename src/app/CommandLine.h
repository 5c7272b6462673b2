#pragma once

#include <QString>

#include <optional>

namespace nvx {

// The system's switches, found anywhere on the command line and in any letter case.
struct SwitchesLigneDeCommande {
    bool instanceGiven = false;
    qint16 NoInstance = 0;            // 1..10 when given, else 0
    std::optional<quint32> attente;   // "/Wait=" milliseconds
    std::optional<QString> adresseIP; // "/IP=" digits and dots
    bool veille = false;              // "/Veille=True"
};

SwitchesLigneDeCommande analyseSwitches(const QString& ligne);

// The program's own options, taken off the command line before the system's switches are read.
struct OptionsProgramme {
    bool headless = false;
    bool help = false;
    bool version = false;
    QString home;            // --home DIR
    QString driveRoot;       // --drive-root DIR
    QString btrieveLibrary;  // --btrieve-library PATH: the vendor's record engine
    QString job;             // --job "<request text>": run this request, then quit
    bool testMail = false;   // --test-mail: the settings' test mail, then quit
    int testFtp = -1;        // --test-ftp N: list FTP account N of the settings, then quit
    bool status = false;     // --status: what the running instance last did, then quit
    bool json = false;       // --json: --status as JSON
    QString erreur;          // the first option that lacks its value or is unknown, said in full
    QString LigneDeCommande; // what remains: the system's switches
};

OptionsProgramme analyseOptions(const QStringList& arguments);

} // namespace nvx
