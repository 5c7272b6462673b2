#include "app/FrmMain.h"

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/InstanceLock.h"
#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "config/Settings.h"
#include "job/JobDriver.h"
#include "link/RequestIntake.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace nvx {

namespace {

const QString kTitre = QStringLiteral("Velmora: Tools NVX");
const QString kFormLoad = QStringLiteral("Frm_Main:Form_Load");

} // namespace

void FrmMain::CommandConnecter_Click()
{
    if (driver_.login())
        return;
    host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, caption(true),
                     QStringLiteral("Non connecté"), Host::Answer::Ok);
}

void FrmMain::CommandTest_Click()
{
    trap(trace_, QStringLiteral("Frm_Main:CommandTest_Click"),
         [&] { driver_.UDPDataArrival_00(RequestIntake::sampleRequest(systeme_.ComputerName())); });
    host_.messageBox(Host::Icon::Information, Host::Buttons::Ok, QStringLiteral("Velmora: Tools NVX"),
                     QStringLiteral("Terminé"), Host::Answer::Ok);
}

void FrmMain::mnuAfficherLog_Click()
{
    trace_.LectureLog(trace_.logFolder(0), QString());
}

void FrmMain::Mnu01User_Click()
{
    trap(trace_, QStringLiteral("Frm_Main:Mnu01User_Click"), [&] {
        bool choisi = droits_.selectionUtilisateur();
        if (!droits_.UserObligatoire())
            return;
        // Bounded as at start-up: a selection that keeps failing must not hold the program.
        for (int tour = 0; tour < 10; ++tour) {
            host_.pump();
            if (droits_.userCourant().isEmpty()) {
                if (ChargementTermine)
                    lifecycle_.requestQuit();
                return;
            }
            if (!choisi || droits_.GestionDroitsUser())
                return;
            choisi = droits_.selectionUtilisateur();
        }
    });
}

void FrmMain::MnuWhatNews_Click(int index)
{
    trap(trace_, QStringLiteral("Frm_Main:MnuWhatNews_Click"), [&] {
        if (index == 1) {
            const QString page = revisionsWebPage();
            if (!page.isEmpty())
                systeme_.ExecuterProgrammeExterne(QStringLiteral("Open"), page);
            return;
        }
        const QString fichier = identity_.DossierApplication + QStringLiteral("VL3_Tools_NVX_Revisions.htm");
        if (!systeme_.File_Exist(fichier, QStringLiteral("MnuWhatNews_Click"))) {
            host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, caption(true),
                             QStringLiteral("Le fichier: ") + fichier + QStringLiteral(" est absent.") +
                                 QStringLiteral("\n\n") +
                                 QStringLiteral("Veuillez le mettre en place à partir de la mise-à-jour "
                                                "disponible sur le Net."),
                             Host::Answer::Ok);
            return;
        }
        systeme_.ExecuterProgrammeExterne(QStringLiteral("Open"), fichier);
    });
}

QString FrmMain::revisionsWebPage() const
{
    QString site = settings_.SiteMaker.trimmed();
    if (site.isEmpty())
        return {};
    if (!site.contains(QStringLiteral("://")))
        site.prepend(QStringLiteral("https://"));
    while (site.endsWith(u'/'))
        site.chop(1);
    return site + QStringLiteral("/VL/Releases/VL_34/Histo_Revisions/VL3_Tools_NVX_Revisions.htm");
}

int FrmMain::runRequest(const QString& texte)
{
    trap(trace_, QStringLiteral("Frm_Main:runRequest"), [&] { driver_.UDPDataArrival_00(texte); });
    const JobResult& r = driver_.result();
    if (!r.requestValid)
        return 3;
    if (r.authFailure)
        return 2;
    return r.hoursNotSent > 0 || !r.statesReceived ? 3 : 0;
}

QString FrmMain::resolveDossierApplication(const QString& home, const QString& executablePath)
{
    QString folder = home;
    if (folder.isEmpty())
        folder = qEnvironmentVariable("VL3_HOME");
    // A portable copy keeps its settings beside it; an installed program never writes into
    // the system's folder it was installed in.
    if (folder.isEmpty()) {
        const QDir exeDir(QFileInfo(executablePath).absolutePath());
        if (QFileInfo(exeDir.filePath(QStringLiteral("Settings"))).isDir())
            folder = exeDir.absolutePath();
    }
    if (folder.isEmpty())
        folder = QDir::homePath() + QStringLiteral("/.local/share/velmora");
    return CheckRep(SuitePath(QDir(folder).absolutePath()));
}

QString FrmMain::caption(bool withRadioId) const
{
    QString c = kTitre + QStringLiteral(" - ") + Systeme::VersionApplication();
    if (withRadioId)
        c += QStringLiteral(" - ") + config_.PbSRadioId();
    return c;
}

FrmMain::FrmMain(Application& root, Host& host, Clock& clock)
    : root_(root), host_(host), clock_(clock), identity_(root.identity()), lifecycle_(root.lifecycle()),
      trace_(root.trace()), systeme_(root.systeme()), ini_(root.ini()), config_(root.config()),
      settings_(root.settings()), droits_(root.droits()), pervasive_(root.pervasive()),
      plateforme_(root.plateforme()), driver_(root.driver())
{
    pervasive_.finProgramme = [this] { emit abortRequested(); };
    pervasive_.titreFenetre = [this] { return caption(true); };
    connect(&lifecycle_, &Lifecycle::unloadDue, this, &FrmMain::Form_Unload);
}

FrmMain::~FrmMain() = default;

void FrmMain::openBases(int base, int premiere, int derniere)
{
    pervasive_.PervasiveOuvertureFichiers(qint16(base), qint16(premiere), qint16(derniere));
    emit basesOpened(base, premiere, derniere);
}

void FrmMain::closeBases(int base, int premiere, int derniere)
{
    pervasive_.PervasiveFermetureFichiers(qint16(base), qint16(premiere), qint16(derniere));
    emit basesClosed(base, premiere, derniere);
}

void FrmMain::Form_Initialize(const QString& dossierApplication, const QString& executablePath)
{
    DateDemarrageApplication = clock_.now();
    executablePath_ = executablePath;
    identity_.DossierApplication = CheckRep(dossierApplication);
    identity_.NomExecutable = QFileInfo(executablePath).fileName();
    // The system drive always exists where the suite comes from; here it is a folder below the
    // drive root, which a fresh machine does not have yet. A strict start-up creates nothing
    // before it has found the site.
    if (!strictStartup)
        QDir().mkpath(NativePath(QStringLiteral("C:\\")));
}

void FrmMain::splashStep(const QString& texte)
{
    if (!SplashAffiche)
        return;
    host_.setSplashText(texte);
    host_.pump();
    trace_.trace(QStringLiteral("----- ") + texte + QStringLiteral(" -----"));
}

void FrmMain::applyLogFolders()
{
    for (int i = 0; i < Configuration::kMaxBases; ++i)
        trace_.setLogFolder(i, config_.DossiersBase[size_t(i)].DossierLogOutil);
}

bool FrmMain::TesterPrevInstance(bool /*killMode*/, qint32 attenteMs)
{
    if (!lock_)
        lock_ = std::make_unique<InstanceLock>(NativePath(identity_.DossierApplication), lockInstance_,
                                               lockFolder);
    bool found = !lock_->tryLock();
    if (found && attenteMs >= 1) {
        // The other copy may be on its way out: give it the time to go.
        systeme_.WaitOnDuration(attenteMs);
        found = !lock_->tryLock();
    }
    if (!found)
        return true;
    host_.messageBox(
        Host::Icon::Critical, Host::Buttons::Ok, caption(false),
        QStringLiteral("Application encore chargée en mémoire.\n\n"
                       "Veuillez la quitter avant de relancer une autre instance de cette application."),
        Host::Answer::Ok);
    // Which copy holds the instance, so that the person or the service manager can find it.
    stopReason_ =
        QStringLiteral("Application encore chargée en mémoire: instance %1, verrou %2, processus %3")
            .arg(lockInstance_)
            .arg(lock_->path())
            .arg(lock_->ownerPid());
    trace_.trace(QStringLiteral("Err: ") + stopReason_, true);
    return false;
}

void FrmMain::AnalyseChaineCommand(const QString& ligne)
{
    trap(trace_, QStringLiteral("Frm_Main:AnalyseChaineCommand"), [&] {
        trace_.TraceLogEncadre(-1, -1, -1, QStringLiteral("Command Line: '") + ligne + u'\'',
                               QStringLiteral("="), false);
        const SwitchesLigneDeCommande s = analyseSwitches(ligne);
        config_.NoInstance = s.NoInstance;
        trace_.trace(QStringLiteral("Instance: ") + QString::number(config_.NoInstance));
        if (s.attente) {
            trace_.trace(QStringLiteral("WaitDuration: ") + QString::number(*s.attente));
            const qint64 debut = clock_.ChronoMilliSec();
            while (qAbs(clock_.ChronoMilliSec() - debut) < qint64(*s.attente) &&
                   !lifecycle_.quitRequested()) {
                host_.pump();
                clock_.sleep(10);
            }
        }
        if (s.adresseIP) {
            AdresseIPCible = *s.adresseIP;
            trace_.trace(QStringLiteral("Target IP Address: ") + AdresseIPCible);
        }
        VeilleDemandee = s.veille;
    });
}

void FrmMain::InitGeneralSysteme()
{
    trap(trace_, QStringLiteral("Frm_Main:InitGeneralSysteme"), [&] {
        QString theme;
        systeme_.Reg_GetValue(0, QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\ThemeManager"),
                              QStringLiteral("ThemeActive"), theme);
        identity_.FormatDate = QStringLiteral("dd/MM/yyyy");
        if (config_.DossierSettings.trimmed().isEmpty())
            config_.NomDossierSettings();
    });
}

void FrmMain::InitGeneral(bool& stop)
{
    trace_.trace(QStringLiteral("FrmMain: Init General: Start"));
    config_.strict = strictStartup;
    if (strictStartup && !siteConfigured()) {
        stop = true;
        return;
    }
    emit captionChanged(caption(false));
    SplashAffiche = true;
    host_.pump();
    host_.setSplashText(QStringLiteral("Tools NVX: Init: General"));
    host_.pump();

    InitGeneralSysteme();

    splashStep(QStringLiteral("Init: InitGeneralPath"));
    trap(trace_, QStringLiteral("Frm_Main:InitGeneral"), [&] {
        qint16 toutes = -1;
        config_.InitGeneralPath(toutes);
    });

    splashStep(QStringLiteral("Init: InitGeneralSite"));
    bool siteOk = true;
    trap(trace_, QStringLiteral("Frm_Main:InitGeneral"), [&] { siteOk = config_.InitGeneralSite(true); });
    if (!siteOk) {
        stopReason_ = config_.siteAbsent;
        stop = true;
        return;
    }
    applyLogFolders();

    splashStep(QStringLiteral("Tools NVX: Init: General"));
    trap(trace_, QStringLiteral("FrmSetup:Form_Load"), [&] { settings_.Form_Load(); });
    plateforme_.setConfig(root_.configPlateforme());
    if (strictStartup && !receptionOpen()) {
        stop = true;
        return;
    }

    trap(trace_, QStringLiteral("Frm_Main:InitGeneral"), [&] {
        const int base = qBound(0, int(identity_.BaseCourante), Configuration::kMaxBases - 1);
        openBases(base, 1, config_.DossiersBase[size_t(base)].NbStation);
    });
    splashStep(QStringLiteral("Tools NVX: Init: Bases"));

    // The random generator is seeded by the system at start, nothing to do for it here.
    if (!stop) {
        trace_.trace(QStringLiteral("FrmMain: Init General: End"));
    }
    emit captionChanged(caption(true));
    trace_.TraceLogEncadre(-1, -1, -1, QStringLiteral("Id Radio: ") + config_.PbSRadioId(),
                           QStringLiteral("="), false);
}

bool FrmMain::Form_Load(const QString& ligneDeCommande)
{
    lockInstance_ = analyseSwitches(ligneDeCommande).NoInstance;
    if (!TesterPrevInstance(false, 5000))
        return false;
    const qint64 debut = clock_.ChronoMilliSec();

    LigneDeCommande = ligneDeCommande;
    if (!LigneDeCommande.trimmed().isEmpty())
        AnalyseChaineCommand(LigneDeCommande);
    else
        config_.NoInstance = 0;

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
    emit windowShowRequested();
    host_.pump();
    ApplicationDemarree = true;
    trace_.TraceLogEncadre(-1, -1, -1,
                           QStringLiteral("----- Init: Duration: ") +
                               QString::number(clock_.ChronoMilliSec() - debut) + QStringLiteral(" ms"),
                           QStringLiteral("="), false);

    if (!userLogin()) {
        lifecycle_.requestQuit();
        Form_Unload();
        return false;
    }

    ChargementTermine = true;
    // An unattended tool is authenticated again after a restart without anyone connecting it.
    if (settings_.Plateforme.ConnexionAuDemarrage && !settings_.Plateforme.Cle.trimmed().isEmpty() &&
        !lifecycle_.quitRequested())
        CommandConnecter_Click();
    // A quit asked while starting goes ahead now.
    lifecycle_.startupEnded();
    return true;
}

bool FrmMain::userLogin()
{
    bool refuse = false;
    trap(trace_, kFormLoad, [&] {
        if (!droits_.UserObligatoire())
            return;
        // A person picks a user in the suite's program; an unattended tool gives up after a
        // few rounds instead of looping for ever.
        for (int tour = 0; !droits_.GestionDroitsUser(); ++tour) {
            const bool choisi = droits_.selectionUtilisateur();
            if (!choisi || droits_.userCourant().isEmpty() || tour >= 10) {
                refuse = true;
                return;
            }
            host_.pump();
        }
    });
    return !refuse;
}

void FrmMain::Quitter()
{
    // Already on its way: asking again would only make the person answer twice.
    if (lifecycle_.quitRequested())
        return;
    const Host::Answer a =
        host_.messageBox(Host::Icon::Question, Host::Buttons::YesNo, caption(true),
                         QStringLiteral("Voulez-vous quitter le programme ?"), Host::Answer::No);
    if (a != Host::Answer::Yes)
        return;
    trace_.TraceLogEncadre(-1, -1, -1, QStringLiteral("Application closed by human action (Menu action)"),
                           QStringLiteral("*"), false);
    lifecycle_.requestQuit();
}

void FrmMain::Form_QueryUnload(bool& cancel, bool fromCloseBox)
{
    // The program's own closes are not questioned, but they wait for a running job all the same.
    if (fromCloseBox)
        Quitter();
    else
        lifecycle_.requestQuit();
    const Lifecycle::State etat = lifecycle_.state();
    if (etat != Lifecycle::State::Closing && etat != Lifecycle::State::Closed)
        cancel = true;
}

void FrmMain::Form_Unload()
{
    if (lifecycle_.state() == Lifecycle::State::Closing || lifecycle_.state() == Lifecycle::State::Closed)
        return;
    lifecycle_.unloadStarted();
    const auto step = [&](const auto& body) { trap(trace_, QStringLiteral("Frm_Main:Form_Unload"), body); };

    step([&] { trace_.trace(QStringLiteral("---------- Frm_Main: Form_Unload: Start")); });
    // The windows save their placement while the settings are still there.
    step([&] { emit unloading(); });
    step([&] {
        const int count =
            qBound(0, int(config_.DetermineDossierConfig_Bases_Nombre()), Configuration::kMaxBases);
        for (int i = 0; i < count; ++i) {
            const QString dossier = settings_.DossiersConfigFichier[size_t(i)];
            if (!dossier.trimmed().isEmpty())
                ini_.EcritureIni(CheckRep(dossier) + QStringLiteral("QM_PRG.ini"),
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
        const int count = qBound(0, int(config_.NbBases), Configuration::kMaxBases);
        for (int i = 0; i < count; ++i) {
            closeBases(i, 1, config_.DossiersBase[size_t(i)].NbStation);
        }
    });
    step([&] { root_.frmSetup().Form_Unload(); });
    host_.pump();
    ApplicationDemarree = false;
    lock_.reset(); // a new copy may start as soon as this one is done
    lifecycle_.unloadFinished();
    // Only this process ends; other programs of the suite and other copies are left alone.
    emit processEnded();
}

} // namespace nvx
