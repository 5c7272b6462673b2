#pragma once

#include <QString>

#include <array>

namespace nvx {

struct ReceptionUdp {
    QString IP;
    QString Port;
    bool Actif = false;
    // Addresses and networks allowed to send requests, ";"-separated; empty: everyone.
    QString Expediteurs;
    bool operator==(const ReceptionUdp&) const = default;
};

struct EmissionUdp {
    QString IP;
    QString Port1;
    QString Port2;
    bool Actif = false;
    QString libelle; // caption of its switch: the station's name
    bool operator==(const EmissionUdp&) const = default;
};

struct ServeurFtp {
    QString Serveur;
    QString NoPort;
    QString User;
    QString PW;
    int Cnx = 0; // 0 "Active", 1 "Passive"
    QString Dossier = QStringLiteral("/");
    bool SecureSSL = false;
    bool SecureSSH = false;
    bool Retry = false;
    bool operator==(const ServeurFtp&) const = default;
};

// Section "Plateforme" of the general settings file.
struct ParametresPlateforme {
    QString URL; // scheme, host and optional port; "/vlapi" is appended
    QString Cle;
    QString Secret;
    int DelaiConnexion = 15; // seconds
    int DelaiReponse = 120;  // seconds
    bool ConnexionAuDemarrage = true;
    // Each platform answer is kept as a file in the XML folder, for diagnosis.
    bool ConserverReponses = false;
    // Authorities trusted for an https platform's certificate (a PEM file, suite path), for a
    // private platform or a proxy that inspects TLS; empty: the system's store.
    QString CertificatsCA;
    bool operator==(const ParametresPlateforme&) const = default;
};

// Section "Email_SMTP" of the general settings file.
struct ParametresSmtp {
    QString Serveur;
    int Port = 587;
    int Securite = 1; // 0 none, 1 STARTTLS, 2 implicit TLS
    QString User;
    QString PW;
    QString Expediteur;
    QString CopiesSupport; // ";"-separated
    QString CopiePartenaire;
    QString NoClient;
    QString OptionsBase;
    // Authorities trusted for the server's certificate (a PEM file); empty: the system's.
    QString Certificat;
    bool operator==(const ParametresSmtp&) const = default;
};

// Every value of the tool's settings, in three groups saved separately: general (folders,
// mails, platform, SMTP), network (the UDP endpoints) and FTP (the accounts). A plain value: a
// window edits a copy and hands it back whole.
struct SettingsValues {
    static constexpr int kReceptions = 10;
    static constexpr int kEmissions = 10;
    static constexpr int kServeursFtp = 20;
    static constexpr int kEmails = 6;

    // General group
    QString TexteDossierConvertSons;
    QString TexteDossierXML;
    // An hour without any row is sent too (a station that really clears hours); by default an
    // empty hour is taken for a database that could not give its rows and is not sent.
    bool EnvoyerHeuresVides = false;
    QString TexteEmailsAdresses;
    std::array<bool, kEmails> CheckEmail{};
    // A mail to the recipients when a job leaves hours unsent, and one when they go through.
    bool Alertes = false;
    int NbZones = 1;
    QString TexteLogNbMaxlignes = QStringLiteral("200");
    // Host of the maker's release web server, for the revision history; empty: no web entry.
    QString SiteMaker;
    ParametresPlateforme Plateforme;
    ParametresSmtp EmailSmtp;
    // Network group
    std::array<ReceptionUdp, kReceptions> Reception;
    std::array<EmissionUdp, kEmissions> Emission;
    // FTP group
    std::array<ServeurFtp, kServeursFtp> ServeursFtp;

    bool operator==(const SettingsValues&) const = default;
    bool sameGeneral(const SettingsValues& autre) const;
    bool sameNetwork(const SettingsValues& autre) const
    {
        return Reception == autre.Reception && Emission == autre.Emission;
    }
    bool sameFtp(const SettingsValues& autre) const { return ServeursFtp == autre.ServeursFtp; }
};

} // namespace nvx
