#include "gui/Windows.h"

#include "app/Application.h"
#include "app/SystemDescription.h"
#include "common/NativePath.h"
#include "gui/FrmAbout.h"
#include "gui/FrmSetupFTPWindow.h"
#include "gui/FrmSetupWindow.h"
#include "gui/GuiHost.h"
#include "gui/LogWindow.h"

#include <QDate>

namespace nvx {

Windows::Windows(Application& application, GuiHost& host)
    : application_(application), shell_(application, host)
{
    host.setParentWindow(&shell_.mainWindow());
    shell_.closeSplash = [&host] { host.closeSplash(); };
    shell_.showAbout = [this] { showAbout(); };
    shell_.showLog = [this] { showLog(); };
    shell_.toggleOptions = [this] { toggleOptions(); };
    // The tester asks for its window before it connects, so that the user sees the connection.
    QObject::connect(&application.frmSetupFtp(), &FrmSetupFTP::showRequested, &shell_.mainWindow(),
                     [this] { showFtpTester(); });
    // Before the settings ask whether to save: what the settings window holds unsaved is handed
    // over, and its place kept.
    QObject::connect(&application.frmMain(), &FrmMain::unloading, &shell_.mainWindow(), [this] {
        if (!options_)
            return;
        options_->keepEdits();
        application_.config().PositionFeuilleSauvegarde(options_->objectName(), QString(), options_->pos());
    });
}

Windows::~Windows() = default;

bool Windows::displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void Windows::showAbout()
{
    if (!about_) {
        Systeme& systeme = application_.systeme();
        about_ = new FrmAbout(
            Systeme::VersionApplication(), QDate::currentDate().year(),
            [&systeme] { return systemDescription(currentSystemFacts(systeme)); }, &shell_.mainWindow());
        about_->setAttribute(Qt::WA_DeleteOnClose);
    }
    about_->show();
    about_->raise();
    about_->activateWindow();
}

void Windows::toggleOptions()
{
    if (!options_) {
        options_ = new FrmSetupWindow(application_.settings(), application_.frmSetup(), &shell_.mainWindow());
        options_->move(application_.config().PositionFeuille(options_->objectName(), QString()));
        shell_.tray().addWindow(options_);
    }
    if (options_->isVisible()) {
        options_->close();
        return;
    }
    options_->show();
    options_->raise();
    options_->activateWindow();
}

void Windows::showLog()
{
    if (!log_) {
        application_.trace().flush();
        log_ = new LogWindow(NativePath(application_.trace().logFolder(0)), &shell_.mainWindow());
        log_->setWindowFlag(Qt::Window);
        log_->setAttribute(Qt::WA_DeleteOnClose);
        log_->openExternally = [this](const QString& chemin) {
            application_.systeme().ExecuterProgrammeExterne(QStringLiteral("Open"), SuitePath(chemin));
        };
        shell_.tray().addWindow(log_);
    }
    log_->show();
    log_->raise();
    log_->activateWindow();
}

void Windows::showFtpTester()
{
    if (!ftpTester_) {
        static const QString kFenetre = QStringLiteral("FrmSetupFTP");
        Configuration& config = application_.config();
        ftpTester_ = new FrmSetupFTPWindow(application_.frmSetupFtp(), &shell_.mainWindow());
        ftpTester_->move(config.PositionFeuille(kFenetre, QString()));
        ftpTester_->savePlacement = [&config](const QPoint& position) {
            config.PositionFeuilleSauvegarde(kFenetre, QString(), position);
        };
        shell_.tray().addWindow(ftpTester_);
    }
    ftpTester_->show();
    ftpTester_->raise();
    ftpTester_->activateWindow();
}

} // namespace nvx
