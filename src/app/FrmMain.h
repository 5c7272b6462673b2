#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace nvx {

class Application;
class Clock;
class Configuration;
class Host;
class IniAccess;
class InstanceLock;
class JobDriver;
class Lifecycle;
class Pervasive;
class PlatformClient;
class Settings;
class Systeme;
class Trace;
class UserRights;
struct Identity;

// The main window's commands without the window: the start-up and shutdown sequences, the quit
// question, "Connecter", "Test" and the log viewer. A window forwards its events here; without
// windows the program calls the same procedures.
class FrmMain : public QObject {
    Q_OBJECT

public:
    FrmMain(Application& root, Host& host, Clock& clock);
    ~FrmMain() override;

    // Folder of the application (suite form, ending with "\"): home if given, else $VL3_HOME,
    // else the executable's folder when it holds a "Settings" folder (a portable copy), else
    // ~/.local/share/velmora/.
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
    // "Connecter": a login with the installation's key and secret; "Non connecté" when it fails.
    // Requests that arrive meanwhile wait in the queue.
    void CommandConnecter_Click();
    // "Test": runs the fixed sample request, then says "Terminé".
    void CommandTest_Click();
    // Lets the person pick a day's log file and opens it.
    void mnuAfficherLog_Click();
    // "Changer d'utilisateur...": the suite's user selection; where a login is mandatory, asked
    // again until the user may run the tool, and a program left without any user quits.
    void Mnu01User_Click();
    // The revision history: 0 the local file beside the program, 1 the maker's web page.
    void MnuWhatNews_Click(int index);
    // The web page of the revision history; empty when no release server is set.
    QString revisionsWebPage() const;
    // Runs one request through the job driver, as the scheduler would have sent it; returns
    // 0 when every transferable hour was sent, 3 when some hour was not (or the platform gave
    // no hour states), 2 when the job ended with the authentication problem.
    int runRequest(const QString& texte);

    QString caption(bool withRadioId) const;

    // Folder of the single-copy lock files (native form); InstanceLock::defaultFolder() when empty.
    QString lockFolder;
    // Without windows nobody answers the start-up's questions: a missing site configuration or
    // data folder, or the only reception endpoint not bound, stops the start-up instead.
    bool strictStartup = false;
    // Why the start-up stopped, in French; empty when it did not or when a person was told.
    QString stopReason() const { return stopReason_; }
    // What the start-up found, one line each: the folders and files the tool works with, each
    // "trouvé" or "absent".
    QStringList startupReport();

    QDateTime DateDemarrageApplication;
    QString LigneDeCommande;
    QString AdresseIPCible;
    bool SplashAffiche = false;
    bool ChargementTermine = false;
    bool ApplicationDemarree = false;
    bool VeilleDemandee = false;

signals:
    void captionChanged(const QString& caption);
    // The record files of a database were opened, then closed.
    void basesOpened(int base, int premiereStation, int derniereStation);
    void basesClosed(int base, int premiereStation, int derniereStation);
    // The unload is done: the event loop may end.
    void processEnded();
    // A database error box was answered Abort: the process ends at once.
    void abortRequested();
    // The start-up is far enough for the main window: the splash goes, the window shows.
    void windowShowRequested();
    // The unload begins: the windows save their placement.
    void unloading();

private:
    // The user login of the start-up; false when the program must stop.
    bool userLogin();
    // Strict start-up: the site configuration file exists (nothing is created otherwise).
    bool siteConfigured();
    // Strict start-up: the reception endpoint is listening when it is the only one switched on.
    bool receptionOpen();
    void splashStep(const QString& texte);
    void applyLogFolders();
    void openBases(int base, int premiere, int derniere);
    void closeBases(int base, int premiere, int derniere);

    Application& root_;
    Host& host_;
    Clock& clock_;
    Identity& identity_;
    Lifecycle& lifecycle_;
    Trace& trace_;
    Systeme& systeme_;
    IniAccess& ini_;
    Configuration& config_;
    Settings& settings_;
    UserRights& droits_;
    Pervasive& pervasive_;
    PlatformClient& plateforme_;
    JobDriver& driver_;
    QString executablePath_;
    std::unique_ptr<InstanceLock> lock_;
    int lockInstance_ = 0; // the instance the command line names, locked before it is analysed
    QString stopReason_;
};

} // namespace nvx
