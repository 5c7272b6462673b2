#include "job/JobDriver.h"

#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Lifecycle.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "job/HourExporter.h"
#include "job/PlatformSession.h"
#include "link/Replies.h"
#include "link/RequestIntake.h"
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
class RunningJob {
public:
    explicit RunningJob(bool& drapeau) : drapeau_(drapeau), avant_(drapeau) { drapeau_ = true; }
    ~RunningJob() { drapeau_ = avant_; }
    RunningJob(const RunningJob&) = delete;
    RunningJob& operator=(const RunningJob&) = delete;

private:
    bool& drapeau_;
    bool avant_;
};

} // namespace

JobDriver::JobDriver(Reporter& reporter, Clock& clock, Host& host, Systeme& systeme, Lifecycle& lifecycle,
                     HourExporter& exporteur, PlatformSession& platform)
    : reporter_(reporter), clock_(clock), host_(host), systeme_(systeme), lifecycle_(lifecycle),
      export_(exporteur), platform_(platform)
{
}

void JobDriver::listen(RequestIntake& intake, Replies& replies)
{
    connect(&intake, &RequestIntake::requestReady, this, &JobDriver::UDPDataArrival_00);
    connect(this, &JobDriver::replyTargetChanged, &replies, &Replies::setTarget);
    connect(this, &JobDriver::progressLine, &replies, &Replies::sendLine);
    connect(this, &JobDriver::progressCleared, &replies, &Replies::sendLine);
}

void JobDriver::message(const QString& texte)
{
    trap(reporter_, QStringLiteral("Frm_MainBis:MsgListeEtScheduler"), [&] {
        const QString ligne = clock_.now().toString(QStringLiteral("HH:mm:ss")) + u' ' + texte;
        if (texte.contains(QStringLiteral("clear"), Qt::CaseInsensitive))
            emit progressCleared(ligne);
        else
            emit progressLine(ligne);
    });
}

bool JobDriver::runStep(const std::function<PlatformStep()>& etape)
{
    PlatformStep fait;
    trap(reporter_, origine(), [&] { fait = etape(); });
    for (const QString& ligne : fait.lines)
        message(ligne);
    if (!fait.ok && !fait.lines.isEmpty())
        resultat_.lastFailure = fait.lines.constLast();
    return fait.ok;
}

bool JobDriver::login()
{
    const Lifecycle::Activity activite(lifecycle_);
    return runStep([&] { return platform_.login(); });
}

bool JobDriver::withRetry(const std::function<PlatformStep()>& etape)
{
    bool resultat = runStep(etape);

    bool authFailure = false;
    trap(reporter_, origine(), [&] { authFailure = platform_.PbBErreurAuthentification(); });
    if (!authFailure)
        return resultat;

    // The token may have expired since it was stored: one forced authentication, one more try.
    host_.pump();
    runStep([&] { return platform_.reauthenticate(); });
    return runStep(etape);
}

void JobDriver::UDPDataArrival_00(const QString& texte)
{
    if (lifecycle_.PbBFermetureApplication())
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
    const RunningJob garde(enCours_);
    resultat_ = JobResult{};
    hoursNotCreated_.reset();
    NomFichierXMLHeure.fill(QString());
    emit jobStarted(texte);
    run(texte);
    emit jobFinished(resultat_);
}

void JobDriver::failure(const QString& texte)
{
    resultat_.lastFailure = texte;
    message(texte);
}

void JobDriver::hourNotSent(int heure, const QString& texte)
{
    ++resultat_.hoursNotSent;
    resultat_.unsentHours.set(std::size_t(heure));
    if (!texte.isEmpty())
        failure(texte);
}

void JobDriver::markWaitingHours()
{
    if (!resultat_.requestValid || lifecycle_.quitRequested())
        return;
    if (resultat_.statesReceived && !resultat_.authFailure && !injoignable())
        return;
    for (int heure = requete.HHDeb; heure <= requete.HHFin; ++heure)
        if (!NomFichierXMLHeure.at(std::size_t(heure)).isEmpty())
            resultat_.unsentHours.set(std::size_t(heure));
    if (resultat_.authFailure)
        resultat_.lastFailure = QStringLiteral("!!!!! Problème d'authentification !!!!!");
}

void JobDriver::run(const QString& texte)
{
    receive(texte);
    const QDate date = requete.dateConducteur();
    resultat_.station = requete.NoStation;
    resultat_.day = date;

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
        failure(QStringLiteral("Requête invalide: DateConducteur '") + requete.DateConducteur + u'\'');
    else if (!stationKnown())
        failure(QStringLiteral("Requête invalide: NoStation '") + requete.NoStationTexte + u'\'');
    else
        createAndSend(date);
    reportMissingReferences();
    // The outcome is known before the scheduler hears the job's last line, so that whoever it
    // tells (the monitoring) already has it.
    resultat_.authFailure = authenticationFailed();
    markWaitingHours();
    emit jobConcluded(resultat_);
    message(QStringLiteral("Fin du traitement"));
    message(QString(17, u'='));
    // The whole job is in the log file when the scheduler reads its last line.
    trap(reporter_, origine(), [&] { reporter_.flush(); });
}

void JobDriver::receive(const QString& texte)
{
    // The request is emptied first so that a failed parse never runs the previous one.
    trap(reporter_, origine(), [&] {
        requete = ScheduleRequest{};
        emit replyTargetChanged(QString(), 0);
        TexteUDPDonneeRecues = texte;
        requete = parseScheduleRequest(texte, clock_.now());
        if (!requete.ReponseIP.trimmed().isEmpty())
            emit replyTargetChanged(requete.ReponseIP, requete.ReponsePort);
    });
}

void JobDriver::createAndSend(const QDate& date)
{
    message(QStringLiteral("Création des XML"));
    for (int heure = requete.HHDeb; heure <= requete.HHFin; ++heure)
        createHour(heure);

    message(QStringLiteral("MAJ des données sur le Net"));
    trap(reporter_, origine(), [&] { platform_.beginJob(); });
    if (authenticationFailed())
        retryAuthentication();

    if (platformAvailable()) {
        message(QStringLiteral("Status des heures"));
        resultat_.statesReceived = withRetry([&] {
            return platform_.UDPDataArrival_04_02_Hours_Get_Status(requete.NoStation, date, requete.HHDeb,
                                                                   requete.HHFin);
        });
    }

    if (platformAvailable()) {
        message(QStringLiteral("Infos FTP des sons"));
        withRetry([&] { return platform_.UDPDataArrival_04_03_FTP_Sons(0); });
    }

    if (platformAvailable()) {
        message(QStringLiteral("Transfert du conducteur"));
        for (int heure = 0; heure < 24; ++heure) {
            trap(reporter_, origine(), [&] { transferHour(heure, date); });
            trap(reporter_, origine(), [&] { host_.pump(); });
        }
    }

    if (lifecycle_.quitRequested())
        reportKeptFiles();
    if (authenticationFailed())
        message(QStringLiteral("!!!!! Problème d'authentification !!!!!"));
}

void JobDriver::reportKeptFiles()
{
    int premiere = -1;
    int derniere = -1;
    for (int heure = requete.HHDeb; heure <= requete.HHFin; ++heure) {
        const QString fichier = NomFichierXMLHeure.at(std::size_t(heure));
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

bool JobDriver::stationKnown()
{
    int stations = 0;
    trap(reporter_, origine(), [&] { stations = export_.stationCount(); });
    resultat_.requestValid = requete.NoStation >= 1 && requete.NoStation <= stations;
    return resultat_.requestValid;
}

void JobDriver::createHour(int heure)
{
    HourExport fait{HourExport::Outcome::Failed, {}, QStringLiteral("erreur interne")};
    trap(reporter_, origine(), [&] { fait = export_.exportHour(requete, heure); });
    if (fait.outcome == HourExport::Outcome::Written) {
        NomFichierXMLHeure.at(std::size_t(heure)) = fait.fichier;
        resultat_.missingReferences.at(std::size_t(heure)) = fait.missingReferences;
        return;
    }
    // Nothing of this hour goes to the platform: the scheduler's operator is told why.
    hoursNotCreated_.set(std::size_t(heure));
    if (fait.outcome == HourExport::Outcome::Empty)
        hourNotSent(heure,
                    QStringLiteral("Conducteur de ") + n2(heure) + QStringLiteral("H vide: non envoyé"));
    else
        hourNotSent(heure, QStringLiteral("Création du XML de ") + n2(heure) +
                               QStringLiteral("H impossible: ") + fait.raison);
}

void JobDriver::reportMissingReferences()
{
    constexpr int kShown = 3;
    for (int heure = 0; heure < 24; ++heure) {
        const QStringList& manquants = resultat_.missingReferences.at(std::size_t(heure));
        if (manquants.isEmpty())
            continue;
        QString ligne = QStringLiteral("Warning: Références manquantes, ") + n2(heure) +
                        QStringLiteral("H: ") + QString::number(manquants.size()) +
                        QStringLiteral(" morceau(x): ") + manquants.mid(0, kShown).join(QStringLiteral("; "));
        if (manquants.size() > kShown)
            ligne += QStringLiteral("; …");
        trap(reporter_, origine(), [&] { reporter_.trace(ligne); });
    }
}

bool JobDriver::authenticationFailed()
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

bool JobDriver::platformAvailable()
{
    return !lifecycle_.quitRequested() && !injoignable() && !authenticationFailed();
}

void JobDriver::retryAuthentication()
{
    // An unattended tool has nobody to press "Connecter": a failure left by the start-up connect
    // or an earlier job is tried once more, with a new login, before this job gives up on the
    // platform.
    trap(reporter_, origine(), [&] {
        reporter_.trace(
            QStringLiteral("UDPDataArrival_00: an earlier authentication failed: logging in again"));
    });
    trap(reporter_, origine(), [&] { host_.pump(); });
    runStep([&] { return platform_.reauthenticate(); });
}

void JobDriver::transferHour(int heure, const QDate& date)
{
    const QString fichier = NomFichierXMLHeure.at(std::size_t(heure));
    if (!heureTransferable(platform_.StatutHeure(heure)))
        return;
    if (!systeme_.File_Exist(fichier, appelant())) {
        // A requested hour the platform would take but whose file is gone (the export has already
        // counted the hours it could not write).
        if (heure >= requete.HHDeb && heure <= requete.HHFin && !hoursNotCreated_.test(std::size_t(heure)))
            hourNotSent(heure);
        return;
    }

    const QString prefixe = QStringLiteral("Transfert du conducteur de ") + n2(heure);
    // The program is closing: the hour waits for a later job, said once for all at the end.
    if (lifecycle_.quitRequested()) {
        hourNotSent(heure);
        return;
    }
    // The platform stopped answering earlier in this job: the hour waits for a later one.
    if (injoignable()) {
        hourNotSent(heure, prefixe + QStringLiteral("H: non envoyé"));
        return;
    }
    message(prefixe + QStringLiteral("H: Début"));
    const bool importe =
        withRetry([&] { return platform_.UDPDataArrival_04_04_Conducteur(requete.NoStation, fichier); });
    message(prefixe + QStringLiteral("H: Fin"));

    // An hour whose import got no usable answer keeps its file for a later job, and the
    // scheduler is told so.
    if (platform_.PbBErreurAuthentification() || !importe) {
        // A quit that abandoned the import is said once for every hour kept, at the end.
        hourNotSent(heure,
                    lifecycle_.quitRequested() ? QString() : prefixe + QStringLiteral("H: non envoyé"));
        return;
    }

    const bool marque = withRetry([&] {
        return platform_.UDPDataArrival_04_05_Hours_Set_Status(requete.NoStation, date, heure, heure);
    });
    // Imported but not marked as sent: the platform does not count the hour as delivered, so
    // the file stays for a later job to send and mark it.
    if (!marque) {
        hourNotSent(heure, prefixe + QStringLiteral("H: statut non mis à jour"));
        return;
    }
    resultat_.sentHours.set(std::size_t(heure));
    if (systeme_.File_Exist(fichier, appelant())) {
        systeme_.File_Delete(fichier, appelant());
        NomFichierXMLHeure.at(std::size_t(heure)).clear();
    }
}

} // namespace nvx
