#include "app/Application.h"

#include "app/CommandLine.h"
#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/NativePath.h"
#include "common/PathText.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace nvx {

namespace {

const QString kTitre = QStringLiteral("Velmora: Tools NVX");
const QString kFormLoad = QStringLiteral("Frm_Main:Form_Load");

} // namespace

Application::Application(Host& host, Clock& clock)
    : trace(clock, host, flags), lifecycle(trace), systeme(trace, clock, host, flags), ini(trace, systeme),
      config(flags, trace, systeme, ini, host), settings(flags, trace, systeme, host, ini, config),
      droits(flags, ini, config, systeme, host, clock), moteur(createEmbeddedEngine()),
      pervasive(std::make_unique<Pervasive>(flags, trace, clock, host, systeme, config, *moteur)),
      exporteur(std::make_unique<ScheduleExport>(flags, trace, clock, *pervasive, settings, config)),
      replies(flags, trace, clock, host, settings),
      plateforme(PlatformConfig{}, trace, clock, host, systeme, replies),
      driver(flags, trace, clock, host, systeme, lifecycle, replies, *exporteur, plateforme, fichiersHeures),
      intake(flags, trace, host, settings, lifecycle, driver), host_(host), clock_(clock)
{
    trace.attach(systeme);
    brancherBaseDonnees();
    intake.ComputerNameProvider = [this] { return systeme.ComputerName(); };
    // A confirmed quit ends the exchange in progress instead of waiting for its time-outs; the
    // job then keeps the files it could not send.
    plateforme.quitterConfirme = [this] { return lifecycle.quitRequested(); };
    QObject::connect(&lifecycle, &Lifecycle::unloadDue, [this] { Form_Unload(); });
}

bool Application::choisirMoteur(const QString& bibliotheque, QString* erreur)
{
    std::unique_ptr<BtrieveEngine> choisi = createEngine(bibliotheque, erreur);
    if (!choisi)
        return false;
    // The export reads through the access layer, which calls the engine: rebuilt in that order.
    auto acces = std::make_unique<Pervasive>(flags, trace, clock_, host_, systeme, config, *choisi);
    auto export_ = std::make_unique<ScheduleExport>(flags, trace, clock_, *acces, settings, config);
    driver.setExportStep(*export_);
    exporteur = std::move(export_);
    pervasive = std::move(acces);
    moteur = std::move(choisi);
    brancherBaseDonnees();
    trace.trace(QStringLiteral("Record engine: ") + moteur->description());
    return true;
}

void Application::brancherBaseDonnees()
{
    pervasive->finProgramme = [this] {
        if (finImmediate)
            finImmediate();
    };
    pervasive->titreFenetre = [this] { return caption(true); };
    exporteur->quitterConfirme = [this] { return lifecycle.quitRequested(); };
    ouvertureBases = [this](int base, int premiere, int derniere) {
        pervasive->PervasiveOuvertureFichiers(qint16(base), qint16(premiere), qint16(derniere));
    };
    fermetureBases = [this](int base, int premiere, int derniere) {
        pervasive->PervasiveFermetureFichiers(qint16(base), qint16(premiere), qint16(derniere));
    };
}

void Application::connecter()
{
    const Lifecycle::Activity activite(lifecycle);
    trap(trace, QStringLiteral("Frm_Main:CommandConnecter_Click"),
         [&] { plateforme.CommandConnecter_Click(); });
}

int Application::executerRequete(const QString& texte)
{
    trap(trace, QStringLiteral("Frm_Main:executerRequete"), [&] { driver.UDPDataArrival_00(texte); });
    if (!driver.requeteValide())
        return 3;
    if (plateforme.PbBErreurAuthentification())
        return 2;
    return driver.heuresNonEnvoyees() > 0 || !driver.etatsObtenus() ? 3 : 0;
}

PlatformConfig Application::configPlateforme() const
{
    PlatformConfig c;
    c.URL = settings.Plateforme.URL.trimmed();
    c.Cle = settings.Plateforme.Cle;
    c.Secret = settings.Plateforme.Secret;
    c.DelaiConnexion = settings.Plateforme.DelaiConnexion;
    c.DelaiReponse = settings.Plateforme.DelaiReponse;
    c.DossierXML = settings.TexteDossierXML;
    c.ConserverReponses = settings.Plateforme.ConserverReponses;
    const ServeurFtp& ftp = settings.ServeursFtp[0];
    c.Ftp = PlatformFtpAccount{ftp.Serveur, ftp.NoPort,    ftp.User,      ftp.PW,   ftp.Cnx,
                               ftp.Dossier, ftp.SecureSSL, ftp.SecureSSH, ftp.Retry};
    c.TitreFenetre = caption(true);
    return c;
}

Application::~Application() = default;

QString Application::resolveDossierApplication(const QString& home, const QString& executablePath)
{
    QString folder = home;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("VL3_HOME");
    if (folder.isEmpty()) {
        const QFileInfo exeDir(QFileInfo(executablePath).absolutePath());
        if (exeDir.isDir() && exeDir.isWritable())
            folder = exeDir.absoluteFilePath();
    }
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/share/velmora");
    return CheckRep(SuitePath(QDir(folder).absolutePath()));
}

QString Application::caption(bool withRadioId) const
{
    QString c = kTitre + QStringLiteral(" - ") + Systeme::VersionApplication();
    if (withRadioId)
        c += QStringLiteral(" - ") + config.PbSRadioId();
    return c;
}

void Application::Form_Initialize(const QString& dossierApplication, const QString& executablePath)
{
    DateDemarrageApplication = clock_.now();
    executablePath_ = executablePath;
    flags.DossierApplication = CheckRep(dossierApplication);
    flags.NomExecutable = QFileInfo(executablePath).fileName();
    // The system drive always exists where the suite comes from; here it is a folder below the
    // drive root, which a fresh machine does not have yet. A strict start-up creates nothing
    // before it has found the site.
    if (!demarrageStrict)
        QDir().mkpath(NativePath(QStringLiteral("C:\\")));
}

void Application::splashStep(const QString& texte)
{
    if (!SplashAffiche)
        return;
    host_.setSplashText(texte);
    host_.pump();
    trace.trace(QStringLiteral("----- ") + texte + QStringLiteral(" -----"));
}

void Application::applyLogFolders()
{
    for (int i = 0; i < Configuration::kMaxBases; ++i)
        trace.setLogFolder(i, config.DossiersBase[size_t(i)].DossierLogOutil);
}

bool Application::TesterPrevInstance(bool /*killMode*/, qint32 attenteMs)
{
    if (!lock_)
        lock_ = std::make_unique<InstanceLock>(executablePath_, dossierVerrou);
    bool found = !lock_->tryLock();
    if (found && attenteMs >= 1) {
        // The other copy may be on its way out: give it the time to go.
        systeme.WaitOnDuration(attenteMs);
        found = !lock_->tryLock();
    }
    if (!found)
        return true;
    host_.messageBox(
        Host::Icon::Critical, Host::Buttons::Ok, caption(false),
        QStringLiteral("Application encore chargée en mémoire.\n\n"
                       "Veuillez la quitter avant de relancer une autre instance de cette application."),
        Host::Answer::Ok);
    return false;
}

void Application::AnalyseChaineCommand(const QString& ligne)
{
    trap(trace, QStringLiteral("Frm_Main:AnalyseChaineCommand"), [&] {
        trace.TraceLogEncadre(-1, -1, -1, QStringLiteral("Command Line: '") + ligne + u'\'',
                              QStringLiteral("="), false);
        const SwitchesLigneDeCommande s = analyseSwitches(ligne);
        config.NoInstance = s.NoInstance;
        trace.trace(QStringLiteral("Instance: ") + QString::number(config.NoInstance));
        if (s.attente) {
            trace.trace(QStringLiteral("WaitDuration: ") + QString::number(*s.attente));
            const qint64 debut = clock_.ChronoMilliSec();
            while (qAbs(clock_.ChronoMilliSec() - debut) < qint64(*s.attente) && !lifecycle.quitRequested()) {
                host_.pump();
                clock_.sleep(10);
            }
        }
        if (s.adresseIP) {
            AdresseIPCible = *s.adresseIP;
            trace.trace(QStringLiteral("Target IP Address: ") + AdresseIPCible);
        }
        VeilleDemandee = s.veille;
    });
}

void Application::InitGeneralSysteme()
{
    trap(trace, QStringLiteral("Frm_Main:InitGeneralSysteme"), [&] {
        QString theme;
        systeme.Reg_GetValue(0, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"),
                             QStringLiteral("ThemeActive"), theme);
        flags.FormatDate = QStringLiteral("dd/MM/yyyy");
        if (config.DossierSettings.trimmed().isEmpty())
            config.NomDossierSettings();
    });
}

void Application::InitGeneral(bool& stop)
{
    trace.trace(QStringLiteral("FrmMain: Init General: Start"));
    config.strict = demarrageStrict;
    if (demarrageStrict && !siteConfigure()) {
        stop = true;
        return;
    }
    host_.setCaption(caption(false));
    SplashAffiche = true;
    host_.pump();
    host_.setSplashText(QStringLiteral("Tools NVX: Init: General"));
    host_.pump();

    InitGeneralSysteme();

    splashStep(QStringLiteral("Init: InitGeneralPath"));
    trap(trace, QStringLiteral("Frm_Main:InitGeneral"), [&] {
        qint16 toutes = -1;
        config.InitGeneralPath(toutes);
    });

    splashStep(QStringLiteral("Init: InitGeneralSite"));
    bool siteOk = true;
    trap(trace, QStringLiteral("Frm_Main:InitGeneral"), [&] { siteOk = config.InitGeneralSite(true); });
    if (!siteOk) {
        raisonArret_ = config.siteAbsent;
        stop = true;
        return;
    }
    applyLogFolders();

    splashStep(QStringLiteral("Tools NVX: Init: General"));
    trap(trace, QStringLiteral("FrmSetup:Form_Load"), [&] { settings.Form_Load(); });
    plateforme.setConfig(configPlateforme());
    if (demarrageStrict && !receptionOuverte()) {
        stop = true;
        return;
    }

    trap(trace, QStringLiteral("Frm_Main:InitGeneral"), [&] {
        const int base = qBound(0, int(flags.BaseCourante), Configuration::kMaxBases - 1);
        if (ouvertureBases)
            ouvertureBases(base, 1, config.DossiersBase[size_t(base)].NbStation);
    });
    splashStep(QStringLiteral("Tools NVX: Init: Bases"));

    // The random generator is seeded by the system at start, nothing to do for it here.
    if (!stop) {
        trace.trace(QStringLiteral("FrmMain: Init General: End"));
    }
    host_.setCaption(caption(true));
    trace.TraceLogEncadre(-1, -1, -1, QStringLiteral("Id Radio: ") + config.PbSRadioId(), QStringLiteral("="),
                          false);
}

bool Application::Form_Load(const QString& ligneDeCommande)
{
    flags.PbBInModeLoadingFrmMain = true;
    if (!TesterPrevInstance(false, 5000))
        return false;
    const qint64 debut = clock_.ChronoMilliSec();

    LigneDeCommande = ligneDeCommande;
    if (!LigneDeCommande.trimmed().isEmpty())
        AnalyseChaineCommand(LigneDeCommande);
    else
        config.NoInstance = 0;

    bool stop = false;
    InitGeneral(stop);
    // From here on a stop leaves the site as any quit does: settings flushed, each database
    // marked, record files closed, the single-copy lock given back.
    if (stop) {
        Form_Unload();
        return false;
    }

    splashStep(QStringLiteral("Tools NVX: Init: Create Object"));
    splashStep(QStringLiteral("Tools NVX: Init: Display"));
    splashStep(QStringLiteral("Tools NVX: Init: Tableur"));
    splashStep(QStringLiteral("Tools NVX: Init: Fin"));
    SplashAffiche = false;
    host_.pump();
    ApplicationDemarree = true;
    trace.TraceLogEncadre(-1, -1, -1,
                          QStringLiteral("----- Init: Duration: ") +
                              QString::number(clock_.ChronoMilliSec() - debut) + QStringLiteral(" ms"),
                          QStringLiteral("="), false);

    if (!connexionUtilisateur()) {
        lifecycle.requestQuit();
        Form_Unload();
        return false;
    }

    flags.PbBInModeLoadingFrmMain = false;
    ChargementTermine = true;
    // An unattended tool is authenticated again after a restart without anyone connecting it.
    if (settings.Plateforme.ConnexionAuDemarrage && !settings.Plateforme.Cle.trimmed().isEmpty() &&
        !lifecycle.quitRequested())
        connecter();
    // A quit asked while starting goes ahead now.
    lifecycle.startupEnded();
    return true;
}

bool Application::connexionUtilisateur()
{
    bool refuse = false;
    trap(trace, kFormLoad, [&] {
        if (!droits.UserObligatoire())
            return;
        // A person picks a user in the suite's program; an unattended tool gives up after a
        // few rounds instead of looping for ever.
        for (int tour = 0; !droits.GestionDroitsUser(); ++tour) {
            const bool choisi = droits.selectionUtilisateur();
            if (!choisi || droits.userCourant().isEmpty() || tour >= 10) {
                refuse = true;
                return;
            }
            host_.pump();
        }
    });
    return !refuse;
}

void Application::Quitter()
{
    // Already on its way: asking again would only make the person answer twice.
    if (lifecycle.quitRequested())
        return;
    const Host::Answer a =
        host_.messageBox(Host::Icon::Question, Host::Buttons::YesNo, caption(true),
                         QStringLiteral("Voulez-vous quitter le programme ?"), Host::Answer::No);
    if (a != Host::Answer::Yes)
        return;
    trace.TraceLogEncadre(-1, -1, -1, QStringLiteral("Application closed by human action (Menu action)"),
                          QStringLiteral("*"), false);
    lifecycle.requestQuit();
}

void Application::Form_QueryUnload(bool& cancel, bool fromCloseBox)
{
    // The program's own closes are not questioned, but they wait for a running job all the same.
    if (fromCloseBox)
        Quitter();
    else
        lifecycle.requestQuit();
    const Lifecycle::State etat = lifecycle.state();
    if (etat != Lifecycle::State::Closing && etat != Lifecycle::State::Closed)
        cancel = true;
}

void Application::Form_Unload()
{
    if (lifecycle.state() == Lifecycle::State::Closing || lifecycle.state() == Lifecycle::State::Closed)
        return;
    lifecycle.unloadStarted();
    const auto step = [&](const auto& body) { trap(trace, QStringLiteral("Frm_Main:Form_Unload"), body); };

    flags.PbBFermetureApplication = true;
    step([&] { trace.trace(QStringLiteral("---------- Frm_Main: Form_Unload: Start")); });
    step([&] {
        const int count =
            qBound(0, int(config.DetermineDossierConfig_Bases_Nombre()), Configuration::kMaxBases);
        for (int i = 0; i < count; ++i) {
            const QString dossier = settings.DossiersConfigFichier[size_t(i)];
            if (!dossier.trimmed().isEmpty())
                ini.EcritureIni(CheckRep(dossier) + QStringLiteral("QM_PRG.ini"),
                                QStringLiteral("Data_Backup"), QStringLiteral("Start"),
                                QStringLiteral("0FF"));
        }
    });
    step([&] {
        const qint64 debut = clock_.ChronoMilliSec();
        while (qAbs(clock_.ChronoMilliSec() - debut) < 500) {
            host_.pump();
            clock_.sleep(10);
        }
    });
    // The record files close while the trace log still writes, so their last line is kept.
    step([&] {
        const int count = qBound(0, int(config.NbBases), Configuration::kMaxBases);
        for (int i = 0; i < count; ++i) {
            if (fermetureBases)
                fermetureBases(i, 1, config.DossiersBase[size_t(i)].NbStation);
        }
    });
    step([&] { settings.Form_Unload(); });
    host_.pump();
    ApplicationDemarree = false;
    lock_.reset(); // a new copy may start as soon as this one is done
    lifecycle.unloadFinished();
    // Only this process ends; other programs of the suite and other copies are left alone.
    if (finProcessus)
        finProcessus();
}

} // namespace nvx
