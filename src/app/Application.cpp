#include "app/Application.h"

#include "common/TextHelpers.h"

namespace nvx {

Application::Application(Host& host, Clock& clock, std::unique_ptr<BtrieveEngine> moteur)
    : trace_(clock, host, identity_, lifecycle_), systeme_(trace_, clock, host, identity_, lifecycle_),
      ini_(trace_, systeme_), config_(identity_, trace_, systeme_, ini_, host),
      settings_(identity_, lifecycle_, trace_, systeme_, host, ini_, config_),
      droits_(identity_, lifecycle_, ini_, config_, systeme_, host, clock), moteur_(std::move(moteur)),
      pervasive_(identity_, lifecycle_, trace_, clock, host, systeme_, config_, *moteur_),
      exporteur_(identity_, lifecycle_, trace_, clock, pervasive_, settings_, config_),
      plateforme_(PlatformConfig{}, trace_, clock, host, systeme_, lifecycle_),
      replies_(trace_, clock, host, settings_), intake_(trace_, host, settings_, lifecycle_),
      heures_(exporteur_), session_(plateforme_),
      driver_(trace_, clock, host, systeme_, lifecycle_, heures_, session_), frmMain_(*this, host, clock),
      frmSetup_(settings_, replies_, systeme_, host, trace_), ftp_(host),
      frmSetupFtp_(ftp_, host, lifecycle_, trace_, [this] { return frmMain_.caption(true); })
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
                             ligne.Serveur = champs.serveur;
                             ligne.NoPort = champs.port;
                             ligne.User = champs.user;
                             ligne.PW = champs.password;
                             ligne.Dossier = champs.dossier;
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
    c.DossierXML = settings_.TexteDossierXML;
    c.ConserverReponses = settings_.Plateforme.ConserverReponses;
    const ServeurFtp& ftp = settings_.ServeursFtp[0];
    c.Ftp = PlatformFtpAccount{ftp.Serveur, ftp.NoPort,    ftp.User,      ftp.PW,   ftp.Cnx,
                               ftp.Dossier, ftp.SecureSSL, ftp.SecureSSH, ftp.Retry};
    return c;
}

} // namespace nvx
