#pragma once

#include "app/InstanceLock.h"
#include "app/UserRights.h"
#include "common/AppFlags.h"
#include "common/HourFiles.h"
#include "common/Lifecycle.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "config/Settings.h"
#include "db/Pervasive.h"
#include "db/engine/BtrieveEngine.h"
#include "export/ScheduleExport.h"
#include "link/JobDriver.h"
#include "link/Replies.h"
#include "link/RequestIntake.h"
#include "platform/PlatformClient.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace nvx {

class Clock;
class Host;

// The program's owners, created in a fixed order and destroyed in reverse, and the start-up
// and shutdown sequences of the main window.
class Application {
public:
    Application(Host& host, Clock& clock);
    ~Application();

    // Folder of the application (suite form, ending with "\"): home if given, else $VL3_HOME,
    // else the executable's folder when writable, else ~/.local/share/velmora/.
    static QString resolveDossierApplication(const QString& home, const QString& executablePath);

    void Form_Initialize(const QString& dossierApplication, const QString& executablePath);
    // The start-up sequence; false when the program must stop instead of running.
    bool Form_Load(const QString& ligneDeCommande);
    void InitGeneral(bool& stop);
    void InitGeneralSysteme();
    void AnalyseChaineCommand(const QString& ligne);
    bool TesterPrevInstance(bool killMode, qint32 attenteMs);
    // The quit question; a Yes asks the lifecycle to quit.
    void Quitter();
    // fromCloseBox: the close comes from the window's own close command. The close is cancelled
    // until the unload has run: a quit asked during a job waits for the job.
    void Form_QueryUnload(bool& cancel, bool fromCloseBox);
    // Run by the lifecycle once a quit may take effect, and by a start-up that stops.
    void Form_Unload();
    // The "Connecter" command. Requests that arrive meanwhile wait in the queue: the connect
    // holds it as a job does.
    void connecter();
    // Chooses the record engine (a vendor library, else $VL3_BTRIEVE_LIBRARY, else the
    // embedded one); false with *erreur when the library cannot be loaded.
    bool choisirMoteur(const QString& bibliotheque, QString* erreur);
    // Runs one request through the job driver, as the scheduler would have sent it; returns
    // 0 when every transferable hour was sent, 3 when some hour was not (or the platform gave
    // no hour states), 2 when the job ended with the authentication problem.
    int executerRequete(const QString& texte);
    // The platform client's view of the settings.
    PlatformConfig configPlateforme() const;

    QString caption(bool withRadioId) const;

    // Database files of the current database, opened after the settings and closed at the end.
    std::function<void(int base, int premiereStation, int derniereStation)> ouvertureBases;
    std::function<void(int base, int premiereStation, int derniereStation)> fermetureBases;
    // Ends the event loop once the unload is done.
    std::function<void()> finProcessus;
    // Ends the process at once (the Abort answer of a database error box).
    std::function<void()> finImmediate;
    // Folder of the single-copy lock files (native form); the system's temporary folder when empty.
    QString dossierVerrou;
    // Without windows nobody answers the start-up's questions: a missing site configuration or
    // data folder, or the only reception endpoint not bound, stops the start-up instead.
    bool demarrageStrict = false;
    // Why the start-up stopped, in French; empty when it did not or when a person was told.
    QString raisonArret() const { return raisonArret_; }
    // What the start-up found, one line each: the folders and files the tool works with, each
    // "trouvé" or "absent".
    QStringList rapportDemarrage();

    AppFlags flags;
    Trace trace;
    Lifecycle lifecycle;
    Systeme systeme;
    IniAccess ini;
    Configuration config;
    Settings settings;
    UserRights droits;
    HourFiles fichiersHeures;
    // The record engine (embedded until choisirMoteur names a library), the record access
    // and the export over them.
    std::unique_ptr<BtrieveEngine> moteur;
    std::unique_ptr<Pervasive> pervasive;
    std::unique_ptr<ScheduleExport> exporteur;
    Replies replies;
    PlatformClient plateforme;
    JobDriver driver;
    RequestIntake intake;

    QDateTime DateDemarrageApplication;
    QString LigneDeCommande;
    QString AdresseIPCible;
    bool SplashAffiche = false;
    bool ChargementTermine = false;
    bool ApplicationDemarree = false;
    bool VeilleDemandee = false;

private:
    // The user login of the start-up; false when the program must stop.
    bool connexionUtilisateur();
    // Strict start-up: the site configuration file exists (nothing is created otherwise).
    bool siteConfigure();
    // Strict start-up: the reception endpoint is listening when it is the only one switched on.
    bool receptionOuverte();
    void splashStep(const QString& texte);
    // Builds the record access and the export over the engine in moteur.
    void brancherBaseDonnees();
    void applyLogFolders();

    Host& host_;
    Clock& clock_;
    QString executablePath_;
    std::unique_ptr<InstanceLock> lock_;
    QString raisonArret_;
};

} // namespace nvx
