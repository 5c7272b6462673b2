#pragma once

#include "db/Catalogue.h"
#include "db/RecordLayouts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace nvx {

class BtrieveEngine;
class Clock;
class Configuration;
class Host;
class Systeme;
class Trace;
struct Identity;
class Lifecycle;

// The suite's record files for the tool: one position block per station and file, one record
// buffer per file, and the generic record call with its retries and error reports.
class Pervasive {
public:
    static constexpr int kMaxStations = 20;
    static constexpr int kTailleBlocPosition = 128;
    // Every key buffer handed to the engine is this long.
    static constexpr int kLongueurCle = 255;
    // The files the tool opens, in opening order (closed in the reverse order).
    static constexpr std::array<qint16, 10> kFichiersOuverts = {20, 21, 22, 24, 26, 31, 32, 41, 42, 53};

    // Operations of the engine used here.
    enum Operation : quint16 {
        OpOuvrir = 0,
        OpFermer = 1,
        OpInserer = 2,
        OpModifier = 3,
        OpSupprimer = 4,
        OpEgal = 5,
        OpSuivant = 6,
        OpPrecedent = 7,
        OpSuperieurOuEgal = 9,
        OpInferieur = 10,
        OpInferieurOuEgal = 11,
        OpCreer = 14,
        OpDebutTransaction = 19,
        OpFinTransaction = 20,
        OpAnnulerTransaction = 21,
        OpDebutTransactionConcurrente = 1019,
    };
    // The engine's answer when the file holds no record of the key asked for.
    static constexpr qint16 kCleIntrouvable = 4;

    // One file of one station.
    struct EtatFichier {
        QString CheminFichierBTR; // suite form
        QByteArray BlocPosition = QByteArray(kTailleBlocPosition, '\0');
        bool FichierOuvert = false;
    };

    Pervasive(Identity& identity, const Lifecycle& lifecycle, Trace& trace, Clock& clock, Host& host,
              Systeme& systeme, Configuration& config, BtrieveEngine& engine);

    // Ends the program at once (the Abort answer of an error box, a network failure after the
    // first minutes). The retry loops stop waiting as soon as it has been asked for.
    std::function<void()> finProgramme;
    // Caption of the message boxes: the main window's caption.
    std::function<QString()> titreFenetre;

    // Opens the tool's files of database base for the stations of the range; the first call
    // loads the catalogue, and a database already open is closed first.
    void PervasiveOuvertureFichiers(qint16 base, qint16 premiereStation, qint16 derniereStation);
    void PervasiveFermetureFichiers(qint16 base, qint16 premiereStation, qint16 derniereStation);
    // Opens one file for each station of the range (mode 0 is the normal mode). The files that
    // may legitimately be missing (12..17, 40..49, 57) are created empty and opened.
    void FichierPervasiveOuvrir(qint16 base, qint16 premiereStation, qint16 derniereStation, qint16 fichier,
                                qint16 mode);
    void FichierPervasiveFermer(qint16 base, qint16 premiereStation, qint16 derniereStation, qint16 fichier);

    // The generic record call: the record read or written is the file's record buffer, and on
    // return cle holds the key of the record found. Returns the status (also in StatutBTrieve):
    // 0 success, 4 key not found, 9 end of file; every other failure has been reported.
    qint16 BTRieve(qint16 base, quint16 operation, QString& cle, qint16 noCle, qint16 fichier, qint16 station,
                   const QString& appelant, bool option = false);
    // While it lives, the reads of each file may share one view of it (one consistent hour
    // for an export, and no lock taken per call).
    class GroupeLectures {
    public:
        explicit GroupeLectures(Pervasive& pervasive);
        ~GroupeLectures();
        GroupeLectures(const GroupeLectures&) = delete;
        GroupeLectures& operator=(const GroupeLectures&) = delete;

    private:
        BtrieveEngine& engine_;
    };

    // The raw engine call with the file's record buffer; the key handed over is always
    // kLongueurCle bytes of Windows-1252.
    qint16 BTRieve_Reel(qint16 fichier, quint16 operation, QByteArray& blocPosition, quint32& longueur,
                        QString& cle, qint16 noCle);
    // False (after a message box) when cle is shorter than key noCle of the file.
    bool BTrieveTestCle(quint16 operation, const QString& cle, qint16 noCle, qint16 fichier,
                        const QString& appelant);

    static QString ErreurBTrieveLibelle(qint16 statut, const QString& nomFichier);
    // Reports an engine error for a file and station: traced as an incident and shown in a box
    // (Abort/Retry/Ignore, or OK when information is asked for). Conflicts (80) are not
    // reported here: the generic call retries them and reports the ones that persist.
    void ErreurBTrieve(qint16 statut, qint16 fichier, qint16 station, const QString& cle,
                       const QString& appelant, bool information = false);

    // Creates the file of the station empty with the catalogue's structure; never replaces an
    // existing file.
    bool CreationStructureVide(qint16 fichier, qint16 station);
    // Fresh record buffer of the file (sized from its layout or the catalogue).
    void InitStructureFichierBTR(qint16 fichier);

    // Names of the artists of a song ("A + B"); empty when neither code gives one.
    // absents, when given, receives each non-blank code the artists' file does not hold.
    QString NomArtiste(qint16 station, const QString& codeArtiste1, const QString& codeArtiste2,
                       QStringList* absents = nullptr);
    // Label and colour of a category; the last answer is remembered. absente, when given, says
    // whether the categories' file does not hold the code.
    QString LibCategorie(qint16 station, const QString& codeCategorie, qint32& couleur,
                         bool* absente = nullptr);

    QString NomFichierBTR(int fichier, int variant) const
    {
        return catalogue_.NomFichierBTR(fichier, variant);
    }
    Catalogue& catalogue() { return catalogue_; }
    const Catalogue& catalogue() const { return catalogue_; }
    // The record buffer of a file (an empty record for a number out of range).
    Record& enregistrement(int fichier);
    quint32 LongueurEnregistrement(int fichier) const;
    // The state of a file for station 1..20.
    const EtatFichier& etat(int station, int fichier) const;
    bool baseOuverte(int base) const;

    qint16 StatutBTrieve = 0;
    bool EnTransaction = false;

private:
    struct MemoireCategorie {
        qint16 station;
        QString code;
        QString libelle;
        qint32 couleur;
        bool absente;
    };

    EtatFichier& etatModifiable(int station, int fichier);
    qint16 appelGenerique(quint16 operation, QString& cle, qint16 noCle, qint16 fichier, qint16 station,
                          const QString& appelant);
    qint16 OuvertureFichierBTrieve(qint16 fichier, qint16 station, qint16 mode);
    void rapport(qint16 statut, qint16 fichier, qint16 station, const QString& cle, const QString& appelant,
                 bool information);
    // Waits ms milliseconds while letting events run; stops early when the program closes.
    void attendre(int ms);
    bool arretDemande() const;
    void terminer();
    QString titre() const;
    qint16 cheminVersCle(const QString& chemin, QByteArray& cle) const;
    // The key buffer's bytes back into the caller's key text.
    static void decoderCle(QByteArrayView octets, QString& cle);

    Identity& identity_;
    const Lifecycle& lifecycle_;
    Trace& trace_;
    Clock& clock_;
    Host& host_;
    Systeme& systeme_;
    Configuration& config_;
    BtrieveEngine& engine_;

    Catalogue catalogue_;
    std::array<std::array<EtatFichier, Catalogue::kNbFichiers>, kMaxStations> etats_;
    std::array<Record, Catalogue::kNbFichiers> enregistrements_;
    std::array<quint32, Catalogue::kNbFichiers> longueurs_{};
    std::array<bool, 5> basesOuvertes_{};
    qint16 baseFichiers_ = 0;
    bool finDemandee_ = false;
    std::optional<MemoireCategorie> memoireCategorie_;
    // The key buffer handed to the engine by every record call.
    std::array<char, kLongueurCle> tamponCle_{};
};

} // namespace nvx
