#pragma once

#include <QDate>
#include <QPoint>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>

namespace nvx {

class Reporter;
class Systeme;
class Host;
class IniAccess;
struct Identity;

// One sound folder slot of a station and kind, with its flag ("1:" in front when stored).
struct DossierSon {
    QString dossier;
    bool flag = false;
};

struct ParametresStation {
    QString Lib;
    bool Actif = false;
    QDate DateLimite;
};

// Folders and flags of one database of the site.
struct ParametresBase {
    static constexpr int kStations = 10;
    static constexpr int kGenres = 8;

    QString Lib;
    bool Actif = false;
    qint16 NbStation = 1;
    QDate DateLimite;
    QString DossierLog;
    QString DossierLogOutil; // DossierLog + "Histo_VL3_Tools_NVX\": the trace log folder
    QString DossierLogPub;
    QString DossierLocal;
    QString DossierShared;
    QString DossierData;
    QString DossierBackup;
    // [station 0..9][kind 0..7]
    std::array<std::array<DossierSon, kGenres>, kStations> DossiersSons;
    // Stations 1..NbStation (index 0 is station 1).
    QList<ParametresStation> Stations;
    // The database's radio identifier: key "Id_Radio" of its "Base_NN" section.
    QString IdRadio;
};

// The suite's configuration folders and the site's databases, found at start-up and kept for
// the run. Folder values are in the suite's form and end with "\".
class Configuration {
public:
    static constexpr int kMaxBases = 5;

    Configuration(Identity& identity, Reporter& reporter, Systeme& systeme, IniAccess& ini, Host& host);

    QString DetermineDossierConfig();
    QString DetermineDossierConfig_Bases_Dossier(const QString& fichier, int numero, bool parBase);
    // "Site"/"NbBase" of the configuration file (default 1), kept within 1..5.
    qint16 DetermineDossierConfig_Bases_Nombre();
    // Configuration folder of database index 0..4.
    QString DetermineDossierConfig_Fichier(int index);
    QString NomFichierSysteme(int index, bool droits);
    // index -1 means every database; left at the index after the last one processed.
    void InitGeneralPath(qint16& index);
    // Reads the site and the databases' parameters; false when the person abandoned the choice
    // of database (the program then ends).
    bool InitGeneralSite(bool all);
    void NomDossierSettings();
    QString NomFichierSettings(const QString& suffixe, const QString& extension);
    QString DetermineDossierSon(int genre, int station);
    QString CheckDrive(int genre, const QString& slot, const QString& identifiant) const;
    // Window positions, kept in the "_Positions" variant of the settings file.
    QPoint PositionFeuille(const QString& fenetre, const QString& cle);
    void PositionFeuilleSauvegarde(const QString& fenetre, const QString& cle, const QPoint& position);

    // The current database's parameters.
    const ParametresBase& baseCourante() const;
    // Section of the database's system file that holds database index's values ("Base_NN").
    QString SectionBase(int index) const;
    // Radio identifier and name of the first database (PbSRadioId, PbSRadioLib).
    QString PbSRadioId() const { return DossiersBase[0].IdRadio; }
    QString PbSRadioLib() const { return DossiersBase[0].Lib; }

    QString FichierConfig;
    QString DossierConfig;
    std::array<QString, kMaxBases> DossiersConfigBase;
    qint16 NbBases = 0;
    std::array<ParametresBase, kMaxBases> DossiersBase;
    QString DossierSettings;
    QString DossierHisto;
    QString DossierSettingsLocal;
    bool DossierFixe = false;
    // Without windows nobody answers the site's questions: a database whose data folder is
    // missing stops the reading (siteAbsent says what is missing) instead of being made up.
    bool strict = false;
    QString siteAbsent;
    // Operating-system code; 10 on this platform. Tests set other values to reach the migration
    // of a legacy configuration.
    qint32 CodeVersionOS = 0;
    // Instance 1..10 from the command line, 0 when none.
    qint16 NoInstance = 0;

private:
    void migrateLegacyConfiguration(const QString& fichierConfig);
    void showThemeMessage(const QString& fichierConfig);
    void readBase(int index);
    void checkDatabaseFile(int index, const QString& fichier, const QString& section);
    void copyProgram(const QString& fichier, const QString& section);
    QString lire(const QString& fichier, const QString& section, const QString& cle,
                 const QString& defaut = {}) const;
    void creeDossier(const QString& dossier);
    QString mainCaption() const;

    Identity& identity_;
    Reporter& reporter_;
    Systeme& systeme_;
    IniAccess& ini_;
    Host& host_;
    // Database number (1..5) behind each index and the section its system file uses for it.
    std::array<qint16, kMaxBases> numerosBase_{1, 2, 3, 4, 5};
    std::array<QString, kMaxBases> sectionsBase_;
    QSet<QString> soundFoldersChecked_;
    bool themeMessageShown_ = false;
};

} // namespace nvx
