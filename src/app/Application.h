#pragma once

#include "app/FrmMain.h"
#include "app/FrmSetup.h"
#include "app/FrmSetupFTP.h"
#include "app/ServiceNotifier.h"
#include "app/StatusFile.h"
#include "app/UserRights.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "config/Configuration.h"
#include "config/Ini.h"
#include "config/Settings.h"
#include "db/Pervasive.h"
#include "db/engine/BtrieveEngine.h"
#include "export/ScheduleExport.h"
#include "job/HourExporter.h"
#include "job/JobDriver.h"
#include "job/PlatformSession.h"
#include "link/Replies.h"
#include "link/RequestIntake.h"
#include "mail/MailAlerts.h"
#include "mail/Mailer.h"
#include "platform/PlatformClient.h"
#include "system/Systeme.h"
#include "system/Trace.h"

#include <memory>

namespace nvx {

class Clock;
class Host;

// The composition root: builds the program's owners once, in a fixed order, wires them, and
// destroys them in reverse. The record engine is chosen before, so nothing is rebuilt later.
class Application {
public:
    Application(Host& host, Clock& clock, std::unique_ptr<BtrieveEngine> moteur = createEmbeddedEngine());
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The record engine of a vendor library, else of $VL3_BTRIEVE_LIBRARY, else the embedded
    // one; null with *erreur when the library cannot be loaded.
    static std::unique_ptr<BtrieveEngine> chooseEngine(const QString& bibliotheque, QString* erreur);

    // The platform client's view of the settings.
    PlatformConfig configPlateforme() const;
    Identity& identity() { return identity_; }
    Lifecycle& lifecycle() { return lifecycle_; }
    Trace& trace() { return trace_; }
    Systeme& systeme() { return systeme_; }
    IniAccess& ini() { return ini_; }
    Configuration& config() { return config_; }
    Settings& settings() { return settings_; }
    UserRights& droits() { return droits_; }
    BtrieveEngine& moteur() { return *moteur_; }
    Pervasive& pervasive() { return pervasive_; }
    ScheduleExport& exporteur() { return exporteur_; }
    PlatformClient& plateforme() { return plateforme_; }
    Replies& replies() { return replies_; }
    RequestIntake& intake() { return intake_; }
    JobDriver& driver() { return driver_; }
    FrmMain& frmMain() { return frmMain_; }
    FrmSetup& frmSetup() { return frmSetup_; }
    FrmSetupFTP& frmSetupFtp() { return frmSetupFtp_; }
    Mailer& mailer() { return mailer_; }
    ServiceNotifier& notifier() { return notifier_; }
    StatusFile& statusFile() { return status_; }
    // From here on the instance keeps its status file for the monitoring.
    void startStatusFile();
    // What every mail says of the workstation and the program.
    WorkstationInfo workstation() const;

private:
    void wireFtpTester();
    void wireMails();
    void wireMonitoring();
    // The alert or recovery mail a finished job calls for.
    void alertAfter(const JobResult& resultat);

    Clock& clock_;
    Identity identity_;
    Lifecycle lifecycle_;
    Trace trace_;
    Systeme systeme_;
    IniAccess ini_;
    Configuration config_;
    Settings settings_;
    UserRights droits_;
    std::unique_ptr<BtrieveEngine> moteur_;
    Pervasive pervasive_;
    ScheduleExport exporteur_;
    PlatformClient plateforme_;
    Replies replies_;
    RequestIntake intake_;
    ScheduleHourExporter heures_;
    ClientSession session_;
    JobDriver driver_;
    FrmMain frmMain_;
    FrmSetup frmSetup_;
    FtpClient ftp_;
    FrmSetupFTP frmSetupFtp_;
    Mailer mailer_;
    MailAlerts alertes_;
    ServiceNotifier notifier_;
    StatusFile status_;
};

} // namespace nvx
