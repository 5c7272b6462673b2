#include "app/Application.h"

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
      frmSetup_(settings_, replies_, systeme_, host, trace_)
{
    lifecycle_.setReporter(trace_);
    trace_.attach(systeme_);
    driver_.listen(intake_, replies_);
    // New settings reach the platform client at once: its address, key, time-outs and account.
    QObject::connect(&settings_, &Settings::groupsChanged, &plateforme_, [this](Settings::Groups groupes) {
        if (groupes & (Settings::Group::General | Settings::Group::Ftp))
            plateforme_.setConfig(configPlateforme());
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
