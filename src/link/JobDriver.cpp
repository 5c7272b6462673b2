#include "link/JobDriver.h"

#include "common/AppFlags.h"
#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/HourFiles.h"
#include "common/JobSteps.h"
#include "common/Lifecycle.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "system/Systeme.h"

namespace nvx {

namespace {

QString origine()
{
    return QStringLiteral("Frm_MainBis:UDPDataArrival_00");
}

QString appelant()
{
    return QStringLiteral("UDPDataArrival_00");
}

QString n2(int valeur)
{
    return N2S(valeur, 2);
}

// The platform accepts a schedule for these hour states only.
bool heureTransferable(qint16 etat)
{
    return etat == 0 || etat == 1 || etat == 4;
}

// Marks the driver busy for the lifetime of one job, whatever way the job ends.
class JobEnCours {
public:
    explicit JobEnCours(bool& drapeau) : drapeau_(drapeau), avant_(drapeau) { drapeau_ = true; }
    ~JobEnCours() { drapeau_ = avant_; }
    JobEnCours(const JobEnCours&) = delete;
    JobEnCours& operator=(const JobEnCours&) = delete;

private:
    bool& drapeau_;
    bool avant_;
};

} // namespace

JobDriver::JobDriver(AppFlags& flags, Reporter& reporter, Clock& clock, Host& host, Systeme& systeme,
                     Lifecycle& lifecycle, ProgressLines& lignes, ExportStep& exportStep,
                     PlatformSteps& platform, HourFiles& fichiers)
    : flags_(flags), reporter_(reporter), clock_(clock), host_(host), systeme_(systeme),
      lifecycle_(lifecycle), lignes_(lignes), export_(&exportStep), platform_(platform), fichiers_(fichiers)
{
}

void JobDriver::message(const QString& texte)
{
    trap(reporter_, origine(), [&] { lignes_.MsgListeEtScheduler(texte); });
}

bool JobDriver::avecReprise(const std::function<bool()>& etape)
{
    bool resultat = false;
    trap(reporter_, origine(), [&] { resultat = etape(); });

    bool echecAuthentification = false;
    trap(reporter_, origine(), [&] { echecAuthentification = platform_.PbBErreurAuthentification(); });
    if (!echecAuthentification)
        return resultat;

    // The token may have expired since it was stored: one forced authentication, one more try.
    host_.pump();
    trap(reporter_, origine(), [&] {
        platform_.UDPDataArrival_04_01_Authentification(platform_.PbSCleAPI(), platform_.PbSSecretAPI(),
                                                        true);
    });
    resultat = false;
    trap(reporter_, origine(), [&] { resultat = etape(); });
    return resultat;
}

void JobDriver::UDPDataArrival_00(const QString& texte)
{
    if (flags_.PbBFermetureApplication)
        return;
    if (enCours_) {
        // Reached through a pump of the running job: a second job would share the hour files and
        // the reply target of the first one.
        trap(reporter_, origine(), [&] {
            reporter_.trace(
                QStringLiteral("Warning: UDPDataArrival_00: a job is already running, request not run: ") +
                    texte,
                true);
        });
        return;
    }
    // The activity outlives the job's own guard: a quit that waited for this job may run as soon
    // as the job is over.
    const Lifecycle::Activity activite(lifecycle_);
    const JobEnCours garde(enCours_);
    heuresNonEnvoyees_ = 0;
    heuresNonCreees_.reset();
    etatsObtenus_ = false;
    requeteValide_ = false;
    executer(texte);
}

void JobDriver::executer(const QString& texte)
{
    recevoir(texte);
    const QDate date = requete.dateConducteur();

    message(QStringLiteral("Clear"));
    message(QString(19, u'='));
    message(QStringLiteral("Début du traitement"));
    QString reception;
    trap(reporter_, origine(), [&] {
        reception = QStringLiteral("Réception: Station: ") + requete.StationLib + QStringLiteral(" Date: ") +
                    date.toString(QStringLiteral("dd/MM/yyyy")) + QStringLiteral(" de ") + n2(requete.HHDeb) +
                    QStringLiteral("H à ") + n2(requete.HHFin) + u'H';
    });
    message(reception);

    // The date goes into the hour files' names and into every platform request, the station into
    // every read and request: without a real date and a station of the database nothing can be
    // written or sent (station 0 or a station the database lacks would send empty hours).
    if (!date.isValid())
        message(QStringLiteral("Requête invalide: DateConducteur '") + requete.DateConducteur + u'\'');
    else if (!stationConnue())
        message(QStringLiteral("Requête invalide: NoStation '") + requete.NoStationTexte + u'\'');
    else
        creerEtEnvoyer(date);
    message(QStringLiteral("Fin du traitement"));
    message(QString(17, u'='));
    // The whole job is in the log file when the scheduler reads its last line.
    trap(reporter_, origine(), [&] { reporter_.flush(); });
}

void JobDriver::recevoir(const QString& texte)
{
    // The request is emptied first so that a failed parse never runs the previous one.
    trap(reporter_, origine(), [&] { host_.clearProgressLines(); });
    trap(reporter_, origine(), [&] {
        requete = ScheduleRequest{};
        lignes_.resetTarget();
        TexteUDPDonneeRecues = texte;
        requete = parseScheduleRequest(texte, clock_.now());
        if (!requete.ReponseIP.trimmed().isEmpty())
            lignes_.setTarget(requete.ReponseIP, requete.ReponsePort);
    });
}

void JobDriver::creerEtEnvoyer(const QDate& date)
{
    message(QStringLiteral("Création des XML"));
    QString dateConstruction;
    trap(reporter_, origine(),
         [&] { dateConstruction = requete.BuilddDate.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")); });
    for (int heure = requete.HHDeb; heure <= requete.HHFin; ++heure)
        creerHeure(heure, dateConstruction);

    message(QStringLiteral("MAJ des données sur le Net"));
    trap(reporter_, origine(), [&] { platform_.beginJob(); });
    if (authentificationEnEchec())
        reprendreAuthentification();

    if (plateformeDisponible()) {
        message(QStringLiteral("Status des heures"));
        etatsObtenus_ = avecReprise([&] {
            return platform_.UDPDataArrival_04_02_Hours_Get_Status(requete.NoStation, date, requete.HHDeb,
                                                                   requete.HHFin);
        });
    }

    if (plateformeDisponible()) {
        message(QStringLiteral("Infos FTP des sons"));
        avecReprise([&] { return platform_.UDPDataArrival_04_03_FTP_Sons(0); });
    }

    if (plateformeDisponible()) {
        message(QStringLiteral("Transfert du conducteur"));
        for (int heure = 0; heure < 24; ++heure) {
            trap(reporter_, origine(), [&] { transfererHeure(heure, date); });
            trap(reporter_, origine(), [&] { host_.pump(); });
        }
    }

    if (lifecycle_.quitRequested())
        direFichiersConserves();
    if (authentificationEnEchec())
        message(QStringLiteral("!!!!! Problème d'authentification !!!!!"));
}

void JobDriver::direFichiersConserves()
{
    int premiere = -1;
    int derniere = -1;
    for (int heure = requete.HHDeb; heure <= requete.HHFin; ++heure) {
        const QString fichier = fichiers_.NomFichierXMLHeure.at(std::size_t(heure));
        bool present = false;
        trap(reporter_, origine(),
             [&] { present = !fichier.isEmpty() && systeme_.File_Exist(fichier, appelant()); });
        if (!present)
            continue;
        if (premiere < 0)
            premiere = heure;
        derniere = heure;
    }
    if (premiere >= 0)
        message(QStringLiteral("Fermeture demandée: ") + n2(premiere) + QStringLiteral("H à ") +
                n2(derniere) + QStringLiteral("H conservées"));
}

bool JobDriver::stationConnue()
{
    int stations = 0;
    trap(reporter_, origine(), [&] { stations = export_->nombreStations(flags_.BaseCourante); });
    requeteValide_ = requete.NoStation >= 1 && requete.NoStation <= stations;
    return requeteValide_;
}

void JobDriver::creerHeure(int heure, const QString& dateConstruction)
{
    HourExport fait{HourExport::Outcome::Failed, QStringLiteral("erreur interne")};
    trap(reporter_, origine(), [&] {
        fait = export_->UDPDataArrival_03_Create_XML(
            flags_.BaseCourante, requete.NoStation, requete.SchedulerVersion, requete.StationLib,
            requete.UserId, requete.UserLib, requete.DateConducteur, heure, dateConstruction, fichiers_);
    });
    if (fait.outcome == HourExport::Outcome::Written)
        return;
    // Nothing of this hour goes to the platform: the scheduler's operator is told why.
    heuresNonCreees_.set(std::size_t(heure));
    ++heuresNonEnvoyees_;
    if (fait.outcome == HourExport::Outcome::Empty)
        message(QStringLiteral("Conducteur de ") + n2(heure) + QStringLiteral("H vide: non envoyé"));
    else
        message(QStringLiteral("Création du XML de ") + n2(heure) + QStringLiteral("H impossible: ") +
                fait.raison);
}

bool JobDriver::authentificationEnEchec()
{
    bool echec = false;
    trap(reporter_, origine(), [&] { echec = platform_.PbBErreurAuthentification(); });
    return echec;
}

bool JobDriver::injoignable()
{
    bool injoignable = false;
    trap(reporter_, origine(), [&] { injoignable = platform_.unreachable(); });
    return injoignable;
}

bool JobDriver::plateformeDisponible()
{
    return !lifecycle_.quitRequested() && !injoignable() && !authentificationEnEchec();
}

void JobDriver::reprendreAuthentification()
{
    // An unattended tool has nobody to press "Connecter": a failure left by the start-up connect
    // or an earlier job is tried once more, with a new login, before this job gives up on the
    // platform.
    trap(reporter_, origine(), [&] {
        reporter_.trace(
            QStringLiteral("UDPDataArrival_00: an earlier authentication failed: logging in again"));
    });
    trap(reporter_, origine(), [&] { host_.pump(); });
    trap(reporter_, origine(), [&] {
        platform_.UDPDataArrival_04_01_Authentification(platform_.PbSCleAPI(), platform_.PbSSecretAPI(),
                                                        true);
    });
}

void JobDriver::transfererHeure(int heure, const QDate& date)
{
    const QString fichier = fichiers_.NomFichierXMLHeure.at(std::size_t(heure));
    if (!heureTransferable(platform_.StatutHeure(heure)))
        return;
    if (!systeme_.File_Exist(fichier, appelant())) {
        // A requested hour the platform would take but whose file is gone (the export has already
        // counted the hours it could not write).
        if (heure >= requete.HHDeb && heure <= requete.HHFin && !heuresNonCreees_.test(std::size_t(heure)))
            ++heuresNonEnvoyees_;
        return;
    }

    const QString prefixe = QStringLiteral("Transfert du conducteur de ") + n2(heure);
    // The program is closing: the hour waits for a later job, said once for all at the end.
    if (lifecycle_.quitRequested()) {
        ++heuresNonEnvoyees_;
        return;
    }
    // The platform stopped answering earlier in this job: the hour waits for a later one.
    if (injoignable()) {
        ++heuresNonEnvoyees_;
        message(prefixe + QStringLiteral("H: non envoyé"));
        return;
    }
    message(prefixe + QStringLiteral("H: Début"));
    const bool importe =
        avecReprise([&] { return platform_.UDPDataArrival_04_04_Conducteur(requete.NoStation, fichier); });
    message(prefixe + QStringLiteral("H: Fin"));

    // An hour whose import got no usable answer keeps its file for a later job, and the
    // scheduler is told so.
    if (platform_.PbBErreurAuthentification() || !importe) {
        ++heuresNonEnvoyees_;
        // A quit that abandoned the import is said once for every hour kept, at the end.
        if (!lifecycle_.quitRequested())
            message(prefixe + QStringLiteral("H: non envoyé"));
        return;
    }

    const bool marque = avecReprise([&] {
        return platform_.UDPDataArrival_04_05_Hours_Set_Status(requete.NoStation, date, heure, heure);
    });
    // Imported but not marked as sent: the platform does not count the hour as delivered, so
    // the file stays for a later job to send and mark it.
    if (!marque) {
        ++heuresNonEnvoyees_;
        message(prefixe + QStringLiteral("H: statut non mis à jour"));
        return;
    }
    if (systeme_.File_Exist(fichier, appelant())) {
        systeme_.File_Delete(fichier, appelant());
        fichiers_.NomFichierXMLHeure.at(std::size_t(heure)).clear();
    }
}

} // namespace nvx
