#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace nvx {

class Reporter;
class Trace;
class Systeme;
class Host;
class IniAccess;
class Configuration;
class IniFile;
struct Identity;
class Lifecycle;

struct ReceptionUdp {
    QString IP;
    QString Port;
    bool Actif = false;
};

struct EmissionUdp {
    QString IP;
    QString Port1;
    QString Port2;
    bool Actif = false;
    QString libelle; // caption of its switch: the station's name
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
};

// The tool's settings: the live copy that every subsystem reads, loaded from and saved to the
// instance's settings file, with one modified flag per group. Switching a UDP endpoint on or
// off raises a notification; the scheduler link opens and closes the sockets.
class Settings : public QObject {
    Q_OBJECT

public:
    static constexpr int kReceptions = 10;
    static constexpr int kEmissions = 10;
    static constexpr int kServeursFtp = 20;
    static constexpr int kEmails = 6;

    Settings(Identity& identity, Lifecycle& lifecycle, Trace& trace, Systeme& systeme, Host& host,
             IniAccess& ini, Configuration& config);

    // General group
    QString TexteDossierConvertSons;
    QString TexteDossierXML;
    // An hour without any row is sent too (a station that really clears hours); by default an
    // empty hour is taken for a database that could not give its rows and is not sent.
    bool EnvoyerHeuresVides = false;
    QString TexteEmailsAdresses;
    std::array<bool, kEmails> CheckEmail{};
    int NbZones = 1;
    QString TexteLogNbMaxlignes = QStringLiteral("200");
    ParametresPlateforme Plateforme;
    ParametresSmtp EmailSmtp;
    // Network group
    std::array<ReceptionUdp, kReceptions> Reception;
    std::array<EmissionUdp, kEmissions> Emission;
    // FTP group
    std::array<ServeurFtp, kServeursFtp> ServeursFtp;
    // Shown by the settings window.
    QString ComputerNameTexte;
    QString HostAddressTexte;

    bool generalModified = false;
    bool networkModified = false;
    bool ftpModified = false;

    // Edits made by the settings window go through these so that the group is marked modified.
    void editGeneral(const std::function<void(Settings&)>& edit);
    void editNetwork(const std::function<void(Settings&)>& edit);
    void editFtp(const std::function<void(Settings&)>& edit);
    // Switches an endpoint on or off and notifies the scheduler link.
    void setReceptionActif(int index, bool actif);
    void setEmissionActif(int index, bool actif);

    // The load sequence, run once at start-up; sets SetupCharge at its end.
    void Form_Load();
    void InitGeneral();
    void InitSettings();
    void InitSettingsVL3();
    void InitSettingsPeripheriques();
    void InitSettingsFTP();
    void SaveSettings();
    void SaveSettingsPeripheriques();
    void SaveSettingsFTP();
    // The "Enregistrer" button: the three groups, whatever their flags.
    void CommandSave_Click();
    // At program end: asks whether to save when a group is modified, flushes the trace log
    // and clears SetupCharge.
    void Form_Unload();
    void CommandDossierSon_Click();
    void CommandDossierXML_Click();
    void CommandEmailTest_Click();
    void CommandFTPTester_Click(int index);

    // Entry points filled by the mail and FTP tester subsystems.
    std::function<void(const QString& destinataires, const QString& texte, bool modeTest)> envoiMail;
    std::function<void(const ServeurFtp& serveur)> testerCnx;

    // Settings file of the instance (general and network keys).
    QString fichierGeneral() const;
    // Per-database configuration folders, for the unload writes.
    std::array<QString, 5> DossiersConfigFichier;

signals:
    void receptionSwitched(int index, bool actif);
    void emissionSwitched(int index, bool actif);

private:
    QString caption() const;
    // The network and FTP groups are read from the instance's file, or, while that file holds
    // none of their sections, once from the legacy file shared by all instances.
    QString fichierReseauLecture();
    using GroupWriter = bool (Settings::*)();
    bool ecrire(const QString& section, const QString& cle, const QString& valeur);
    bool writeGeneral();
    bool writeNetwork();
    bool writeFtp();
    // Writes the groups into the instance's file, moving the network groups read from the legacy
    // file along with them; traces a failure.
    void saveGroups(const QString& procedure, std::vector<GroupWriter> groups);
    bool saveWhole(const std::vector<GroupWriter>& groups);
    void applyLogBatchSize();

    QString networkSource_;
    bool legacyPending_ = false;
    // The file being rewritten in one piece while a save runs.
    IniFile* batch_ = nullptr;

    Identity& identity_;
    Lifecycle& lifecycle_;
    Trace& trace_;
    Systeme& systeme_;
    Host& host_;
    IniAccess& ini_;
    Configuration& config_;
};

} // namespace nvx
