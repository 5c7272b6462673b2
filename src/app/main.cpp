#include "app/Application.h"
#include "app/CommandLine.h"
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
    nvx::Application application(host, clock);
    // There are no windows yet: every start is one without a person to answer its questions.
    application.demarrageStrict = true;
    application.finProcessus = [] { QCoreApplication::exit(0); };

    application.finImmediate = [] { std::exit(1); };
    QString erreurMoteur;
    if (!application.choisirMoteur(options.btrieveLibrary, &erreurMoteur)) {
        err << "vl3-tools-nvx: " << erreurMoteur << Qt::endl;
        return 2;
    }

    // The operator's SIGINT or SIGTERM is a confirmed quit, from the first step of the start-up
    // (which may wait for a slow platform) to the last.
    nvx::SignalWatcher watcher;
    QObject::connect(&watcher, &nvx::SignalWatcher::terminationRequested,
                     [&](int) { application.lifecycle.requestQuit(); });

    const QString executable = QCoreApplication::applicationFilePath();
    application.Form_Initialize(nvx::Application::resolveDossierApplication(options.home, executable),
                                executable);
    const bool demarre = application.Form_Load(options.LigneDeCommande);
    // What the start-up found, for the person who reads the console or the service's journal.
    for (const QString& ligne : application.rapportDemarrage())
        out << ligne << Qt::endl;
    if (!demarre) {
        // Stopped during start-up (second copy, site missing, database choice abandoned, user refused).
        if (!application.raisonArret().isEmpty())
            err << "vl3-tools-nvx: démarrage arrêté: " << application.raisonArret() << Qt::endl;
        application.trace.flush();
        return 1;
    }
    // Quit asked while starting: the unload has run already.
    if (application.lifecycle.state() == nvx::Lifecycle::State::Closed)
        return 0;

    if (!options.job.isEmpty()) {
        const int resultat = application.executerRequete(options.job);
        application.lifecycle.requestQuit();
        return resultat;
    }
    out << "Tools NVX started: " << application.caption(true) << Qt::endl;
    return QCoreApplication::exec();
}
