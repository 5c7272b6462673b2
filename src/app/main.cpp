#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/HeadlessChecks.h"
#include "app/HeadlessHost.h"
#include "app/SignalWatcher.h"
#include "app/Usage.h"
#include "common/Clock.h"
#include "common/NativePath.h"
#include "system/Systeme.h"

#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdlib>
#include <optional>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vl3-tools-nvx"));
    QCoreApplication::setApplicationVersion(nvx::Systeme::VersionApplication());
    QTextStream out(stdout);
    QTextStream err(stderr);

    const nvx::OptionsProgramme options = nvx::analyseOptions(QCoreApplication::arguments().mid(1));
    if (!options.erreur.isEmpty()) {
        err << "vl3-tools-nvx: " << options.erreur << Qt::endl << nvx::usageText();
        return 2;
    }
    if (options.version) {
        out << nvx::Systeme::VersionApplication() << Qt::endl;
        return 0;
    }
    if (options.help) {
        out << nvx::usageText();
        return 0;
    }
    if (!options.headless)
        err << "vl3-tools-nvx: this build has no windows yet; running headless" << Qt::endl;
    if (!options.driveRoot.isEmpty())
        nvx::setDriveRoot(QDir(options.driveRoot).absolutePath());

    nvx::SystemClock clock;
    nvx::HeadlessHost host;
    QString erreurMoteur;
    std::unique_ptr<nvx::BtrieveEngine> moteur =
        nvx::Application::chooseEngine(options.btrieveLibrary, &erreurMoteur);
    if (!moteur) {
        err << "vl3-tools-nvx: " << erreurMoteur << Qt::endl;
        return 2;
    }
    nvx::Application application(host, clock, std::move(moteur));
    application.trace().trace(QStringLiteral("Record engine: ") + application.moteur().description());
    nvx::FrmMain& frmMain = application.frmMain();
    QObject::connect(&application.driver(), &nvx::JobDriver::progressLine, &app,
                     [&host](const QString& ligne) { host.addProgressLine(ligne); });
    QObject::connect(&application.trace(), &nvx::Trace::incidentAdded, &app,
                     [&host](const QString& ligne) { host.addIncidentLine(ligne); });
    // There are no windows yet: every start is one without a person to answer its questions.
    frmMain.strictStartup = true;
    QObject::connect(&frmMain, &nvx::FrmMain::processEnded, &app, [] { QCoreApplication::exit(0); });
    QObject::connect(&frmMain, &nvx::FrmMain::abortRequested, &app, [] { std::exit(1); });

    // The operator's SIGINT or SIGTERM is a confirmed quit, from the first step of the start-up
    // (which may wait for a slow platform) to the last.
    nvx::SignalWatcher watcher;
    QObject::connect(&watcher, &nvx::SignalWatcher::terminationRequested,
                     [&](int) { application.lifecycle().requestQuit(); });

    const QString executable = QCoreApplication::applicationFilePath();
    frmMain.Form_Initialize(nvx::FrmMain::resolveDossierApplication(options.home, executable), executable);
    const bool demarre = frmMain.Form_Load(options.LigneDeCommande);
    // What the start-up found, for the person who reads the console or the service's journal.
    for (const QString& ligne : frmMain.startupReport())
        out << ligne << Qt::endl;
    if (!demarre) {
        // Stopped during start-up (second copy, site missing, database choice abandoned, user refused).
        if (!frmMain.stopReason().isEmpty())
            err << "vl3-tools-nvx: démarrage arrêté: " << frmMain.stopReason() << Qt::endl;
        application.trace().flush();
        return 1;
    }
    // Quit asked while starting: the unload has run already.
    if (application.lifecycle().state() == nvx::Lifecycle::State::Closed)
        return 0;

    // One piece of work, then quit: a request, or a check of an account of the settings.
    std::optional<int> resultat;
    if (!options.job.isEmpty())
        resultat = frmMain.runRequest(options.job);
    else if (options.testMail)
        resultat = nvx::runMailCheck(application);
    else if (options.testFtp >= 0)
        resultat = nvx::runFtpCheck(application, options.testFtp, out, err);
    if (resultat) {
        application.lifecycle().requestQuit();
        return *resultat;
    }
    out << "Tools NVX started: " << frmMain.caption(true) << Qt::endl;
    return QCoreApplication::exec();
}
