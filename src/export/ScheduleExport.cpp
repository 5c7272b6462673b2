#include "export/ScheduleExport.h"

#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/ErrorTrap.h"
#include "common/Identity.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "common/WholeFile.h"
#include "config/Configuration.h"
#include "config/Settings.h"
#include "db/Pervasive.h"
#include "export/KeyBounds.h"
#include "export/ScheduleDocument.h"

#include <QFile>
#include <QFileInfo>

namespace nvx {

namespace {

constexpr qint16 kFichierConducteur = 53;
const QString kProcedure = QStringLiteral("Frm_MainBis:UDPDataArrival_03_Create_XML");

// Statuses the record call passes back without reporting them; any other failure it has
// reported itself, and one failure makes one report.
bool nonSignale(qint16 statut)
{
    return statut == 4 || statut == 5;
}

// "<song id> <title>: <what is missing>"; a song the database lacks has no title of its own.
QString referencesManquantes(const ItemValues& v)
{
    QString texte = v.songId;
    if (v.songLib != QStringLiteral("Morceau: ") + v.songId)
        texte += u' ' + v.songLib;
    return texte + QStringLiteral(": ") + v.missingReferences.join(QStringLiteral(", "));
}

} // namespace

ScheduleExport::ScheduleExport(Identity& identity, const Lifecycle& lifecycle, Reporter& reporter,
                               Clock& clock, Pervasive& pervasive, Settings& settings, Configuration& config)
    : identity_(identity), reporter_(reporter), clock_(clock), pervasive_(pervasive), settings_(settings),
      config_(config), pointeurs_(identity, lifecycle, reporter, pervasive),
      items_(identity, pervasive, pointeurs_)
{
}

QString ScheduleExport::NomFichierXML(const QString& dossier, const QString& dateConducteur, int heure,
                                      qint16 noStation)
{
    return CheckRep(dossier) + QStringLiteral("NVX_Upload_") + dateConducteur + u'_' + N2S(heure, 2) +
           QStringLiteral("_Station_") + N2S(noStation, 2) + QStringLiteral(".xml");
}

int ScheduleExport::stationCount() const
{
    const qint16 base = identity_.BaseCourante;
    return base >= 0 && base < Configuration::kMaxBases ? config_.DossiersBase[size_t(base)].NbStation : 0;
}

HourExport ScheduleExport::UDPDataArrival_03_Create_XML(const ScheduleHour& h)
{
    HourExport resultat{HourExport::Outcome::Failed, {}, QStringLiteral("erreur interne")};
    QString chemin;
    trap(reporter_, kProcedure, [&] {
        if (h.heure < 0 || h.heure > 23)
            Raise(9, QStringLiteral("Heure hors limite: ") + QString::number(h.heure));
        if (vbTrim(settings_.TexteDossierXML).isEmpty()) {
            resultat.raison = QStringLiteral("dossier XML non défini");
            Raise(76, QStringLiteral("Dossier XML non défini"));
        }
        chemin = NomFichierXML(settings_.TexteDossierXML, h.dateConducteur, h.heure, h.noStation);

        ScheduleDocument document;
        document.entete(entete(h));
        const Lecture lecture = lignes(document, h.noStation, h.dateConducteur, h.heure);
        // Rows read up to a failure are a part of the hour that would replace the whole of it.
        if (lecture.statut != 0) {
            resultat.raison = raisonLecture(lecture.statut, h.noStation);
            return;
        }
        if (lecture.lignes == 0 && !settings_.EnvoyerHeuresVides) {
            resultat = {HourExport::Outcome::Empty, {}, {}};
            return;
        }
        document.fin();
        ecrire(chemin, document.utf8(), resultat.raison);
        resultat = {HourExport::Outcome::Written, chemin, {}, lecture.manquants};
    });
    // The file of an earlier job for this hour must not be taken for this one.
    if (resultat.outcome != HourExport::Outcome::Written && !chemin.isEmpty() &&
        QFile::exists(NativePath(chemin)))
        QFile::remove(NativePath(chemin));
    return resultat;
}

ScheduleDocument::Entete ScheduleExport::entete(const ScheduleHour& h) const
{
    ScheduleDocument::Entete e;
    e.schedulerVersion = h.schedulerVersion;
    e.radioId = config_.PbSRadioId();
    e.radioLib = config_.PbSRadioLib();
    e.stationId = N2S(h.noStation, 2);
    e.stationLib = h.stationLib;
    e.userId = h.userId;
    e.userLib = h.userLib;
    e.date = h.dateConducteur;
    e.heure = N2S(h.heure, 2);
    const QDateTime& construction = h.buildDate;
    e.buildDate = Date2StringEx(construction, QStringLiteral("YYYYMMDD"));
    e.buildTiming = Date2StringEx(construction, QStringLiteral("HH:MM:SS"));
    const QDateTime maintenant = clock_.now();
    e.pubDate = Date2StringEx(maintenant, QStringLiteral("YYYYMMDD"));
    e.pubTiming = Date2StringEx(maintenant, QStringLiteral("HH:MM:SS"));
    return e;
}

QString ScheduleExport::raisonLecture(qint16 statut, qint16 noStation)
{
    const QString station = QStringLiteral(" (station ") + QString::number(noStation) + u')';
    switch (statut) {
    case 3:
        return QStringLiteral("fichier du conducteur non ouvert") + station;
    case 12:
        return QStringLiteral("fichier du conducteur introuvable") + station;
    case 84:
    case 85:
        return QStringLiteral("fichier du conducteur verrouillé par un autre programme") + station;
    default:
        return QStringLiteral("lecture du conducteur impossible, statut ") + QString::number(statut) +
               station;
    }
}

ScheduleExport::Lecture ScheduleExport::lignes(ScheduleDocument& document, qint16 noStation,
                                               const QString& dateConducteur, int heure)
{
    const QString debut = dateConducteur + N2S(heure, 2);
    QString cle = debut + QString(6, QChar(0));
    const QString cleMax = debut + QString(6, QChar(0xFF));

    Lecture lecture;
    // The record call answers "end of file" for a file that is not open, which would pass for an
    // hour without rows.
    if (noStation < 1 || noStation > Pervasive::kMaxStations ||
        !pervasive_.etat(noStation, kFichierConducteur).FichierOuvert) {
        lecture.statut = 3;
        return lecture;
    }
    const Pervasive::GroupeLectures groupe(pervasive_);
    quint16 operation = Pervasive::OpSuperieurOuEgal;
    for (;;) {
        const qint16 statut = pervasive_.BTRieve(identity_.BaseCourante, operation, cle, 0,
                                                 kFichierConducteur, noStation, kProcedure);
        if (statut == 9)
            break;
        if (statut != 0) {
            if (nonSignale(statut))
                pervasive_.ErreurBTrieve(statut, kFichierConducteur, noStation, cle, kProcedure);
            lecture.statut = statut;
            break;
        }
        if (!cleAuPlus(cle, cleMax))
            break;
        // The look-ups of the row share the key buffer; get-next starts again from this key.
        const QString cleLigne = cle;
        const Record& ligne = pervasive_.enregistrement(kFichierConducteur);
        ItemValues valeurs;
        trap(reporter_, kProcedure, [&] { valeurs = items_.valeurs(ligne, noStation, cle, kProcedure); });
        document.item(ligne, valeurs);
        if (!valeurs.missingReferences.isEmpty())
            lecture.manquants << referencesManquantes(valeurs);
        ++lecture.lignes;
        cle = cleLigne;
        operation = Pervasive::OpSuivant;
    }
    return lecture;
}

void ScheduleExport::ecrire(const QString& chemin, const QByteArray& contenu, QString& raison)
{
    const QString natif = NativePath(chemin);
    QString erreur;
    if (writeWholeFile(natif, contenu, &erreur))
        return;
    const QFileInfo dossier(QFileInfo(natif).absolutePath());
    if (!dossier.isDir())
        raison = QStringLiteral("dossier XML introuvable (") + settings_.TexteDossierXML + u')';
    else if (!dossier.isWritable())
        raison = QStringLiteral("dossier XML en lecture seule (") + settings_.TexteDossierXML + u')';
    else
        raison = QStringLiteral("écriture du fichier impossible (") + settings_.TexteDossierXML + u')';
    Raise(75, QStringLiteral("Ecriture impossible: ") + natif + QStringLiteral(" (") + erreur + u')');
}

} // namespace nvx
