#include "app/Application.h"

#include "common/Clock.h"
#include "common/NativePath.h"
#include "common/TextHelpers.h"

#include <QFileInfo>

namespace nvx {

Application::Application(Host& host, Clock& clock, std::unique_ptr<BtrieveEngine> moteur)
    : clock_(clock), trace_(clock, host, identity_, lifecycle_),
      systeme_(trace_, clock, host, identity_, lifecycle_), ini_(trace_, systeme_),
      config_(identity_, trace_, systeme_, ini_, host),
      settings_(identity_, lifecycle_, trace_, systeme_, host, ini_, config_),
      droits_(identity_, lifecycle_, ini_, config_, systeme_, host, clock), moteur_(std::move(moteur)),
      pervasive_(identity_, lifecycle_, trace_, clock, host, systeme_, config_, *moteur_),
      exporteur_(identity_, lifecycle_, trace_, clock, pervasive_, settings_, config_),
      plateforme_(PlatformConfig{}, trace_, clock, host, systeme_, lifecycle_),
      replies_(trace_, clock, host, settings_), intake_(trace_, clock, host, settings_, lifecycle_),
      heures_(exporteur_), session_(plateforme_),
      driver_(trace_, clock, host, systeme_, lifecycle_, heures_, session_), frmMain_(*this, host, clock),
      frmSetup_(settings_, replies_, systeme_, host, trace_), ftp_(host),
      frmSetupFtp_(ftp_, host, lifecycle_, trace_, [this] { return frmMain_.caption(true); }),
      mailer_(settings_, host, trace_, clock, [this] { return workstation(); }),
      alertes_(settings_, trace_, clock, mailer_)
{
    lifecycle_.setReporter(trace_);
    trace_.attach(systeme_);
    driver_.listen(intake_, replies_);
    // New settings reach the platform client at once: its address, key, time-outs and account.
    QObject::connect(&settings_, &Settings::groupsChanged, &plateforme_, [this](Settings::Groups groupes) {
        if (groupes & (Settings::Group::General | Settings::Group::Ftp))
            plateforme_.setConfig(configPlateforme());
    });
    wireFtpTester();
    wireMails();
    wireMonitoring();
}

void Application::wireMails()
{
    mailer_.abandon = [this] { return lifecycle_.PbBFermetureApplication(); };
    QObject::connect(&frmSetup_, &FrmSetup::mailTestRequested, &settings_,
                     [this](const QString& destinataires, const QString& texte) {
                         mailer_.EnvoiMail(true, destinataires, texte, QString(), true);
                     });
    intake_.envoiMail = [this](const QString& destinataires, const QString& message, const QString& titre) {
        mailer_.EnvoiMail(false, destinataires, message, titre, true);
    };
    QObject::connect(&driver_, &JobDriver::jobFinished, &settings_,
                     [this](const JobResult& resultat) { alertAfter(resultat); });
}

void Application::wireMonitoring()
{
    // The service manager shows how the last job went, and hears of the unload.
    QObject::connect(&driver_, &JobDriver::jobConcluded, &notifier_, [this](const JobResult& resultat) {
        notifier_.status(ServiceNotifier::statusLine(clock_.now().time(), resultat));
    });
    QObject::connect(&frmMain_, &FrmMain::unloading, &notifier_, [this] { notifier_.stopping(); });
    QObject::connect(&driver_, &JobDriver::jobStarted, &settings_,
                     [this](const QString&) { status_.jobStarted(int(intake_.ListeDataArrival.size())); });
    QObject::connect(&driver_, &JobDriver::jobConcluded, &settings_, [this](const JobResult& resultat) {
        status_.jobFinished(clock_.now(), resultat, driver_.requete.StationLib,
                            int(intake_.ListeDataArrival.size()));
    });
    QObject::connect(&plateforme_, &PlatformClient::connectedChanged, &settings_,
                     [this](bool connecte) { status_.setPlatformConnected(connecte); });
}

void Application::startStatusFile()
{
    status_.start(NativePath(config_.NomFichierSettings(QStringLiteral("_Status"), QStringLiteral(".json"))),
                  frmMain_.DateDemarrageApplication, config_.NoInstance);
}

void Application::alertAfter(const JobResult& resultat)
{
    // A refused request names no station's hours; hours kept by a quit go with the next start.
    if (!resultat.requestValid || lifecycle_.quitRequested())
        return;
    JobHours heures;
    heures.station = resultat.station;
    heures.stationName = driver_.requete.StationLib;
    heures.day = resultat.day.toString(QStringLiteral("dd/MM/yyyy"));
    for (int h = 0; h < 24; ++h) {
        if (resultat.sentHours.test(size_t(h)))
            heures.sentHours << h;
        if (resultat.unsentHours.test(size_t(h)))
            heures.unsentHours << h;
    }
    heures.lastFailure = resultat.lastFailure;
    alertes_.jobFinished(heures);
}

WorkstationInfo Application::workstation() const
{
    WorkstationInfo p;
    p.radioId = config_.PbSRadioId();
    p.computerName = systeme_.ComputerName();
    p.osText = systeme_.GetOSDisplayString();
    p.memoryMb = systeme_.GetMemoryUsage() / (1024 * 1024);
    p.machineUptimeSec = clock_.ChronoMilliSec() / 1000;
    p.appUptimeSec = frmMain_.DateDemarrageApplication.isValid()
                         ? frmMain_.DateDemarrageApplication.secsTo(clock_.now())
                         : 0;
    p.executableName = QFileInfo(identity_.NomExecutable).completeBaseName();
    p.version = Systeme::VersionApplication();
    p.mainCaption = frmMain_.caption(true);
    return p;
}

void Application::wireFtpTester()
{
    ftp_.abandon = [this] { return lifecycle_.PbBFermetureApplication(); };
    QObject::connect(&frmSetup_, &FrmSetup::ftpTestRequested, &frmSetupFtp_,
                     [this](int index, const ServeurFtp& f) {
                         frmSetupFtp_.TesterCnx(f.Serveur, long(vbVal(f.NoPort)), f.User, f.PW, f.Dossier,
                                                qint16(index), f.SecureSSL, f.SecureSSH);
                     });
    // "Récupérer" edits the row as the settings window would, so the FTP group is marked modified.
    QObject::connect(&frmSetupFtp_, &FrmSetupFTP::recuperationRequested, &settings_,
                     [this](int index, const RecoveredFtpFields& champs) {
                         settings_.editFtp([&](Settings& s) {
                             ServeurFtp& ligne = s.ServeursFtp[size_t(index)];
                             ligne.Serveur = champs.server;
                             ligne.NoPort = champs.port;
                             ligne.User = champs.user;
                             ligne.PW = champs.password;
                             ligne.Dossier = champs.folder;
                         });
                     });
}

Application::~Application() = default;

std::unique_ptr<BtrieveEngine> Application::chooseEngine(const QString& bibliotheque, QString* erreur)
{
    return createEngine(bibliotheque, erreur);
}

PlatformConfig Application::configPlateforme() const
{
    PlatformConfig c;
    c.URL = settings_.Plateforme.URL.trimmed();
    c.Cle = settings_.Plateforme.Cle;
    c.Secret = settings_.Plateforme.Secret;
    c.DelaiConnexion = settings_.Plateforme.DelaiConnexion;
    c.DelaiReponse = settings_.Plateforme.DelaiReponse;
    c.CertificatsCA = settings_.Plateforme.CertificatsCA.trimmed();
    c.DossierXML = settings_.TexteDossierXML;
    c.ConserverReponses = settings_.Plateforme.ConserverReponses;
    const ServeurFtp& ftp = settings_.ServeursFtp[0];
    c.Ftp = PlatformFtpAccount{ftp.Serveur, ftp.NoPort,    ftp.User,      ftp.PW,   ftp.Cnx,
                               ftp.Dossier, ftp.SecureSSL, ftp.SecureSSH, ftp.Retry};
    return c;
}

} // namespace nvx
