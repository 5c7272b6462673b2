#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/HeadlessChecks.h"
#include "app/HeadlessHost.h"
#include "app/SignalWatcher.h"
#include "app/StatusCommand.h"
#include "app/Usage.h"
#include "common/Clock.h"
#include "common/NativePath.h"
#include "gui/GuiHost.h"
#include "gui/Windows.h"
#include "system/Systeme.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The arguments as the program received them, read before the application object exists since
// they decide which one to build.
QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// A console command runs headless whatever the display.
bool consoleCommand(const nvx::OptionsProgramme& options)
{
    return options.headless || options.help || options.version || options.status ||
           !options.erreur.isEmpty() || !options.job.isEmpty() || options.testMail || options.testFtp >= 0;
}

// Without windows the progress lines and incidents go to the console, and nobody answers the
// start-up's questions.
void wireConsole(nvx::Application& application, nvx::HeadlessHost& host)
{
    QObject::connect(&application.driver(), &nvx::JobDriver::progressLine, &application.driver(),
                     [&host](const QString& ligne) { host.addProgressLine(ligne); });
    QObject::connect(&application.trace(), &nvx::Trace::incidentAdded, &application.trace(),
                     [&host](const QString& ligne) { host.addIncidentLine(ligne); });
    application.frmMain().strictStartup = true;
}

} // namespace

int main(int argc, char** argv)
{
    const nvx::OptionsProgramme options = nvx::analyseOptions(argumentsOf(argc, argv));
    const bool windows = !consoleCommand(options) && nvx::Windows::displayAvailable();
    const std::unique_ptr<QCoreApplication> app =
        windows ? std::make_unique<QApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vl3-tools-nvx"));
    QCoreApplication::setApplicationVersion(nvx::Systeme::VersionApplication());
    QTextStream out(stdout);
    QTextStream err(stderr);

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
    if (options.status) {
        if (!options.driveRoot.isEmpty())
            nvx::setDriveRoot(QDir(options.driveRoot).absolutePath());
        const QString folder = nvx::NativePath(
            nvx::FrmMain::resolveDossierApplication(options.home, QCoreApplication::applicationFilePath()));
        return nvx::runStatusCommand(folder, nvx::analyseSwitches(options.LigneDeCommande).NoInstance,
                                     options.json, out);
    }
    if (!windows && !consoleCommand(options))
        err << "vl3-tools-nvx: no display found: running headless" << Qt::endl;
    if (!options.driveRoot.isEmpty())
        nvx::setDriveRoot(QDir(options.driveRoot).absolutePath());

    nvx::SystemClock clock;
    const std::unique_ptr<nvx::Host> host = windows
                                                ? std::unique_ptr<nvx::Host>(std::make_unique<nvx::GuiHost>())
                                                : std::make_unique<nvx::HeadlessHost>();
    QString erreurMoteur;
    std::unique_ptr<nvx::BtrieveEngine> moteur =
        nvx::Application::chooseEngine(options.btrieveLibrary, &erreurMoteur);
    if (!moteur) {
        err << "vl3-tools-nvx: " << erreurMoteur << Qt::endl;
        return 2;
    }
    nvx::Application application(*host, clock, std::move(moteur));
    application.trace().trace(QStringLiteral("Record engine: ") + application.moteur().description());
    nvx::FrmMain& frmMain = application.frmMain();
    std::unique_ptr<nvx::Windows> fenetres;
    if (windows)
        fenetres = std::make_unique<nvx::Windows>(application, static_cast<nvx::GuiHost&>(*host));
    else
        wireConsole(application, static_cast<nvx::HeadlessHost&>(*host));
    QObject::connect(&frmMain, &nvx::FrmMain::processEnded, app.get(), [] { QCoreApplication::exit(0); });
    QObject::connect(&frmMain, &nvx::FrmMain::abortRequested, app.get(), [] { std::exit(1); });

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
    application.startStatusFile();
    out << "Tools NVX started: " << frmMain.caption(true) << Qt::endl;
    application.notifier().ready();
    return QCoreApplication::exec();
}
