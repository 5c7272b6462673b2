#include "gui/GuiShell.h"

#include "app/Application.h"

namespace nvx {

GuiShell::GuiShell(Application& application, Host& host)
    : application_(application), display_(host, application.trace(), application.lifecycle()),
      mainWindow_(application, display_), tray_(&mainWindow_)
{
    FrmMain& frm = application.frmMain();
    connect(&frm, &FrmMain::captionChanged, &display_, &IncidentDisplay::setBaseCaption);
    connect(&application.trace(), &Trace::incidentAdded, this, [this](const QString& ligne) {
        display_.CheckIncidents_Click();
        tray_.standby().incidentRaised(ligne);
    });
    connect(&frm, &FrmMain::windowShowRequested, this, &GuiShell::showMainWindow);
    connect(&frm, &FrmMain::unloading, &mainWindow_, &Frm_Main::savePlacement);
    connect(&mainWindow_, &Frm_Main::standbyRequested, this, &GuiShell::MiseEnVeilleForcee);
    connect(&mainWindow_, &Frm_Main::aboutRequested, this, [this] {
        if (showAbout)
            showAbout();
    });
    connect(&tray_, &Frm_SysTray::aboutRequested, this, [this] {
        if (showAbout)
            showAbout();
    });
    connect(&mainWindow_, &Frm_Main::logRequested, this, [this] {
        if (showLog)
            showLog();
    });
    connect(&mainWindow_, &Frm_Main::optionsRequested, this, [this] {
        if (toggleOptions)
            toggleOptions();
    });
    mainWindow_.MnuWhatNews[1]->setEnabled(!application.frmMain().revisionsWebPage().isEmpty());
    connect(&application.settings(), &Settings::groupsChanged, this, [this] {
        mainWindow_.MnuWhatNews[1]->setEnabled(!application_.frmMain().revisionsWebPage().isEmpty());
    });
    timerVeille_.setInterval(100);
    connect(&timerVeille_, &QTimer::timeout, this, &GuiShell::TimerVeille_Timer);
}

GuiShell::~GuiShell() = default;

void GuiShell::showMainWindow()
{
    if (closeSplash)
        closeSplash();
    mainWindow_.restorePlacement();
    mainWindow_.show();
    mainWindow_.MnuWhatNews[1]->setEnabled(!application_.frmMain().revisionsWebPage().isEmpty());
    display_.windowShown();
    if (application_.frmMain().VeilleDemandee)
        timerVeille_.start();
}

void GuiShell::MiseEnVeilleForcee()
{
    tray_.standby().MiseEnVeille(true, QStringLiteral("Velmora: NVX"));
}

void GuiShell::TimerVeille_Timer()
{
    if (application_.lifecycle().quitRequested()) {
        timerVeille_.stop();
        return;
    }
    // The window must be on the screen before it can be hidden for the standby.
    if (!mainWindow_.isVisible())
        return;
    if (application_.frmMain().VeilleDemandee) {
        MiseEnVeilleForcee();
        application_.frmMain().VeilleDemandee = false;
    }
    timerVeille_.stop();
}

} // namespace nvx
