#include "export/ScheduleExport.h"

#include "common/AppFlags.h"
#include "common/Clock.h"
#include "common/DateHelpers.h"
#include "common/ErrorTrap.h"
#include "common/HourFiles.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "config/Configuration.h"
#include "config/Settings.h"
#include "db/Pervasive.h"
#include "export/KeyBounds.h"
#include "export/ScheduleDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

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

// The build date handed over by the job driver, read in the system's date format or the
// usual ones; a text that none reads is traced.
QDateTime lireDate(const QString& texte, const QString& formatDate, Reporter& reporter)
{
    const QString t = texte.trimmed();
    const QStringList formats = {formatDate + QStringLiteral(" HH:mm:ss"),
                                 QStringLiteral("dd/MM/yyyy HH:mm:ss"), formatDate,
                                 QStringLiteral("dd/MM/yyyy")};
    for (const QString& f : formats) {
        const QDateTime d = QDateTime::fromString(t, f);
        if (d.isValid())
            return d;
    }
    const QDateTime iso = QDateTime::fromString(t, Qt::ISODate);
    if (!iso.isValid() && !t.isEmpty())
        reporter.trace(QStringLiteral("Warning: Date de construction illisible: ") + texte);
    return iso;
}

} // namespace

ScheduleExport::ScheduleExport(AppFlags& flags, Reporter& reporter, Clock& clock, Pervasive& pervasive,
                               Settings& settings, Configuration& config)
    : flags_(flags), reporter_(reporter), clock_(clock), pervasive_(pervasive), settings_(settings),
      config_(config), pointeurs_(flags, reporter, pervasive), items_(flags, pervasive, pointeurs_)
{
    pointeurs_.quitterConfirme = [this] { return quitterConfirme && quitterConfirme(); };
}

QString ScheduleExport::NomFichierXML(const QString& dossier, const QString& dateConducteur, int heure,
                                      qint16 noStation)
{
    return CheckRep(dossier) + QStringLiteral("NVX_Upload_") + dateConducteur + u'_' + N2S(heure, 2) +
           QStringLiteral("_Station_") + N2S(noStation, 2) + QStringLiteral(".xml");
}

int ScheduleExport::nombreStations(qint16 base) const
{
    return base >= 0 && base < Configuration::kMaxBases ? config_.DossiersBase[size_t(base)].NbStation : 0;
}

HourExport ScheduleExport::UDPDataArrival_03_Create_XML(qint16 base, qint16 noStation,
                                                        const QString& schedulerVersion,
                                                        const QString& stationLib, const QString& userId,
                                                        const QString& userLib, const QString& dateConducteur,
                                                        int heure, const QString& buildDate,
                                                        HourFiles& fichiers)
{
    // The database read is the one whose files are open; base only names it for the caller.
    Q_UNUSED(base);
    HourExport resultat{HourExport::Outcome::Failed, QStringLiteral("erreur interne")};
    QString chemin;
    trap(reporter_, kProcedure, [&] {
        if (heure < 0 || heure >= int(fichiers.NomFichierXMLHeure.size()))
            Raise(9, QStringLiteral("Heure hors limite: ") + QString::number(heure));
        QString& entree = fichiers.NomFichierXMLHeure[size_t(heure)];
        entree.clear();
        if (vbTrim(settings_.TexteDossierXML).isEmpty()) {
            resultat.raison = QStringLiteral("dossier XML non défini");
            Raise(76, QStringLiteral("Dossier XML non défini"));
        }
        chemin = NomFichierXML(settings_.TexteDossierXML, dateConducteur, heure, noStation);

        ScheduleDocument document;
        document.entete(entete(noStation, schedulerVersion, stationLib, userId, userLib, dateConducteur,
                               heure, buildDate));
        const Lecture lecture = lignes(document, noStation, dateConducteur, heure);
        // Rows read up to a failure are a part of the hour that would replace the whole of it.
        if (lecture.statut != 0) {
            resultat.raison = raisonLecture(lecture.statut, noStation);
            return;
        }
        if (lecture.lignes == 0 && !settings_.EnvoyerHeuresVides) {
            resultat = {HourExport::Outcome::Empty, {}};
            return;
        }
        document.fin();
        ecrire(chemin, document.utf8(), resultat.raison);
        entree = chemin;
        resultat = {HourExport::Outcome::Written, {}};
    });
    // The file of an earlier job for this hour must not be taken for this one.
    if (resultat.outcome != HourExport::Outcome::Written && !chemin.isEmpty() &&
        QFile::exists(NativePath(chemin)))
        QFile::remove(NativePath(chemin));
    return resultat;
}

ScheduleDocument::Entete ScheduleExport::entete(qint16 noStation, const QString& schedulerVersion,
                                                const QString& stationLib, const QString& userId,
                                                const QString& userLib, const QString& dateConducteur,
                                                int heure, const QString& buildDate) const
{
    ScheduleDocument::Entete e;
    e.schedulerVersion = schedulerVersion;
    e.radioId = config_.PbSRadioId();
    e.radioLib = config_.PbSRadioLib();
    e.stationId = N2S(noStation, 2);
    e.stationLib = stationLib;
    e.userId = userId;
    e.userLib = userLib;
    e.date = dateConducteur;
    e.heure = N2S(heure, 2);
    const QDateTime construction = dateConstruction(buildDate);
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
        const qint16 statut = pervasive_.BTRieve(flags_.BaseCourante, operation, cle, 0, kFichierConducteur,
                                                 noStation, kProcedure);
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
        ++lecture.lignes;
        cle = cleLigne;
        operation = Pervasive::OpSuivant;
    }
    return lecture;
}

QDateTime ScheduleExport::dateConstruction(const QString& texte) const
{
    // A job hands the same build date to each of its hours: the last one read is kept, with
    // the date format it was read in.
    struct Memoire {
        QString texte;
        QString formatDate;
        QDateTime date;
    };
    thread_local std::optional<Memoire> memoire;
    if (memoire && memoire->texte == texte && memoire->formatDate == flags_.FormatDate) {
        if (!memoire->date.isValid() && !texte.trimmed().isEmpty())
            reporter_.trace(QStringLiteral("Warning: Date de construction illisible: ") + texte);
        return memoire->date;
    }
    memoire = Memoire{texte, flags_.FormatDate, lireDate(texte, flags_.FormatDate, reporter_)};
    return memoire->date;
}

void ScheduleExport::ecrire(const QString& chemin, const QByteArray& contenu, QString& raison)
{
    const QString natif = NativePath(chemin);
    QSaveFile f(natif);
    QString erreur;
    if (!f.open(QIODevice::WriteOnly))
        erreur = f.errorString();
    else if (f.write(contenu) != contenu.size() || !f.commit())
        erreur = f.errorString();
    if (erreur.isEmpty())
        return;
    f.cancelWriting();
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
