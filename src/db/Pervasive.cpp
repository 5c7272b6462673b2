#include "db/Pervasive.h"

#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "config/Configuration.h"
#include "db/engine/BtrieveEngine.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QFile>

namespace nvx {

namespace {

// Files that other programs of the suite create lazily: the tool creates them empty when
// they are missing rather than reporting them.
bool creableSiAbsent(int fichier)
{
    return (fichier >= 12 && fichier <= 17) || (fichier >= 40 && fichier <= 49) || fichier == 57;
}

constexpr qint16 kStatutFichierAbsent = 12;

} // namespace

Pervasive::Pervasive(Identity& identity, const Lifecycle& lifecycle, Trace& trace, Clock& clock, Host& host,
                     Systeme& systeme, Configuration& config, BtrieveEngine& engine)
    : identity_(identity), lifecycle_(lifecycle), trace_(trace), clock_(clock), host_(host),
      systeme_(systeme), config_(config), engine_(engine)
{
}

Pervasive::GroupeLectures::GroupeLectures(Pervasive& pervasive) : engine_(pervasive.engine_)
{
    engine_.beginReads();
}

Pervasive::GroupeLectures::~GroupeLectures()
{
    engine_.endReads();
}

Pervasive::EtatFichier& Pervasive::etatModifiable(int station, int fichier)
{
    return etats_.at(size_t(station - 1)).at(size_t(fichier));
}

const Pervasive::EtatFichier& Pervasive::etat(int station, int fichier) const
{
    static const EtatFichier vide;
    if (station < 1 || station > kMaxStations || fichier < 0 || fichier >= Catalogue::kNbFichiers)
        return vide;
    return etats_[size_t(station - 1)][size_t(fichier)];
}

Record& Pervasive::enregistrement(int fichier)
{
    static Record vide;
    if (fichier < 0 || fichier >= Catalogue::kNbFichiers) {
        vide = Record();
        return vide;
    }
    return enregistrements_[size_t(fichier)];
}

quint32 Pervasive::LongueurEnregistrement(int fichier) const
{
    if (fichier < 0 || fichier >= Catalogue::kNbFichiers)
        return 0;
    return longueurs_[size_t(fichier)];
}

bool Pervasive::baseOuverte(int base) const
{
    return base >= 0 && base < int(basesOuvertes_.size()) && basesOuvertes_[size_t(base)];
}

QString Pervasive::titre() const
{
    if (titreFenetre)
        return titreFenetre();
    return QStringLiteral("Velmora: Tools NVX - ") + Systeme::VersionApplication();
}

void Pervasive::InitStructureFichierBTR(qint16 fichier)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:InitStructureFichierBTR"), [&] {
        if (fichier < 0 || fichier >= Catalogue::kNbFichiers)
            Raise(9, QStringLiteral("Subscript out of range"));
        catalogue_.InitGeneralData();
        const RecordLayout* layout = layoutFichier(fichier);
        const int taille = layout ? layout->tailleBuffer : catalogue_.entree(fichier).longueurEnregistrement;
        enregistrements_[size_t(fichier)] = Record(layout, taille);
        longueurs_[size_t(fichier)] = quint32(taille);
    });
}

void Pervasive::PervasiveOuvertureFichiers(qint16 base, qint16 premiereStation, qint16 derniereStation)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:PervasiveOuvertureFichiers"), [&] {
        if (base < 0 || base >= Configuration::kMaxBases)
            Raise(9, QStringLiteral("Subscript out of range"));
        catalogue_.InitGeneralData();
        if (basesOuvertes_[size_t(base)])
            PervasiveFermetureFichiers(base, premiereStation, derniereStation);
        for (qint16 fichier : kFichiersOuverts)
            FichierPervasiveOuvrir(base, premiereStation, derniereStation, fichier, 0);
        trace_.trace(QStringLiteral("Pervasive files opened"));
        basesOuvertes_[size_t(base)] = true;
    });
}

void Pervasive::PervasiveFermetureFichiers(qint16 base, qint16 premiereStation, qint16 derniereStation)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:PervasiveFermetureFichiers"), [&] {
        if (base < 0 || base >= Configuration::kMaxBases)
            Raise(9, QStringLiteral("Subscript out of range"));
        for (auto it = kFichiersOuverts.rbegin(); it != kFichiersOuverts.rend(); ++it)
            FichierPervasiveFermer(base, premiereStation, derniereStation, *it);
        trace_.trace(QStringLiteral("Pervasive files closed"));
        basesOuvertes_[size_t(base)] = false;
    });
}

void Pervasive::FichierPervasiveOuvrir(qint16 base, qint16 premiereStation, qint16 derniereStation,
                                       qint16 fichier, qint16 mode)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:FichierPervasiveOuvrir"), [&] {
        if (base < 0 || base >= Configuration::kMaxBases || fichier < 0 || fichier >= Catalogue::kNbFichiers)
            Raise(9, QStringLiteral("Subscript out of range"));
        InitStructureFichierBTR(fichier);
        baseFichiers_ = base;
        const QString dossier = CheckRep(config_.DossiersBase[size_t(base)].DossierData);
        for (int s = qMax<int>(1, premiereStation); s <= qMin<int>(kMaxStations, derniereStation); ++s) {
            EtatFichier& e = etatModifiable(s, fichier);
            // A file still open from an earlier call gives its position back first.
            if (e.FichierOuvert)
                FichierPervasiveFermer(base, qint16(s), qint16(s), fichier);
            e.CheminFichierBTR = dossier + NomFichierBTR(fichier, s - 1);
            e.FichierOuvert = false;
            qint16 statut = OuvertureFichierBTrieve(fichier, qint16(s), mode);
            // Only a file that is really missing is created: any other refusal (locked, damaged)
            // must not end with an empty file in place of the suite's data.
            if (statut == kStatutFichierAbsent && creableSiAbsent(fichier)) {
                trace_.trace(QStringLiteral("File: ") + e.CheminFichierBTR +
                             QStringLiteral(" not found |Create empty structure"));
                CreationStructureVide(fichier, qint16(s));
                statut = OuvertureFichierBTrieve(fichier, qint16(s), mode);
            }
            if (statut == 0)
                e.FichierOuvert = true;
            else
                ErreurBTrieve(statut, fichier, qint16(s), e.CheminFichierBTR,
                              QStringLiteral("Lib_Data_Pervasive:FichierPervasiveOuvrir"));
        }
    });
}

void Pervasive::FichierPervasiveFermer(qint16 base, qint16 premiereStation, qint16 derniereStation,
                                       qint16 fichier)
{
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:FichierPervasiveFermer"), [&] {
        if (base < 0 || base >= Configuration::kMaxBases || fichier < 0 || fichier >= Catalogue::kNbFichiers)
            Raise(9, QStringLiteral("Subscript out of range"));
        for (int s = qMax<int>(1, premiereStation); s <= qMin<int>(kMaxStations, derniereStation); ++s) {
            EtatFichier& e = etatModifiable(s, fichier);
            if (!e.FichierOuvert)
                continue;
            char donnees[1] = {0};
            quint32 longueur = 0;
            QByteArray cle(kLongueurCle, '\0');
            const qint16 statut = engine_.BTRCALL(OpFermer, e.BlocPosition.data(), donnees, &longueur,
                                                  cle.data(), quint8(kLongueurCle), 0);
            if (statut != 0)
                trace_.trace(QStringLiteral("Unable to close: ") + e.CheminFichierBTR);
            e.FichierOuvert = false;
        }
    });
}

// The engine takes the path of the file in the key buffer, in the system's form, ended by a
// zero byte.
qint16 Pervasive::cheminVersCle(const QString& chemin, QByteArray& cle) const
{
    const QByteArray natif = QFile::encodeName(NativePath(chemin));
    cle = QByteArray(kLongueurCle, '\0');
    if (natif.size() >= kLongueurCle)
        return 11; // invalid file name
    cle.replace(0, natif.size(), natif);
    return 0;
}

qint16 Pervasive::OuvertureFichierBTrieve(qint16 fichier, qint16 station, qint16 mode)
{
    EtatFichier& e = etatModifiable(station, fichier);
    QByteArray cle;
    if (const qint16 refus = cheminVersCle(e.CheminFichierBTR, cle))
        return refus;
    char donnees[1] = {0};
    quint32 longueur = 0;
    e.BlocPosition.fill('\0');
    return engine_.BTRCALL(OpOuvrir, e.BlocPosition.data(), donnees, &longueur, cle.data(),
                           quint8(kLongueurCle), qint8(mode));
}

bool Pervasive::CreationStructureVide(qint16 fichier, qint16 station)
{
    bool cree = false;
    trap(trace_, QStringLiteral("Lib_Data_Pervasive:CreationStructureVide"), [&] {
        catalogue_.InitGeneralData();
        QByteArray structureFichier = catalogue_.specCreation(fichier);
        if (structureFichier.isEmpty())
            return; // no structure to give it: the open that follows reports the file
        const QString chemin = etat(station, fichier).CheminFichierBTR;
        QByteArray cle;
        qint16 statut = cheminVersCle(chemin, cle);
        if (statut == 0) {
            QByteArray bloc(kTailleBlocPosition, '\0');
            quint32 longueur = quint32(structureFichier.size());
            // Key number -1: an existing file is refused, never replaced.
            statut = engine_.BTRCALL(OpCreer, bloc.data(), structureFichier.data(), &longueur, cle.data(),
                                     quint8(kLongueurCle), -1);
        }
        if (statut != 0) {
            ErreurBTrieve(statut, fichier, station, chemin,
                          QStringLiteral("Lib_Data_Pervasive:CreationStructureVide"));
            return;
        }
        cree = true;
    });
    return cree;
}

} // namespace nvx
