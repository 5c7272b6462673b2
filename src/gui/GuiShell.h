#pragma once

#include "app/IncidentDisplay.h"
#include "gui/Frm_Main.h"
#include "gui/Frm_SysTray.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace nvx {

class Application;
class Host;

// The windows of the program over its core: the main window, the standby in the notification
// area, and the windows opened from the menu. Built before the start-up runs, so that the
// incidents and progress lines of the start-up are shown once the main window appears.
class GuiShell : public QObject {
    Q_OBJECT

public:
    GuiShell(Application& application, Host& host);
    ~GuiShell() override;

    Frm_Main& mainWindow() { return mainWindow_; }
    Frm_SysTray& tray() { return tray_; }
    IncidentDisplay& display() { return display_; }
    // Closes the splash window once the main window shows.
    std::function<void()> closeSplash;
    // Opens the windows of the menu; set by whoever builds them.
    std::function<void()> showAbout;
    std::function<void()> showLog;
    // Shows the settings window, or hides it when it is shown.
    std::function<void()> toggleOptions;

    // "Mise en veille", and "/Veille=True" once the main window is visible.
    void MiseEnVeilleForcee();

private:
    void showMainWindow();
    void TimerVeille_Timer();

    Application& application_;
    IncidentDisplay display_;
    Frm_Main mainWindow_;
    Frm_SysTray tray_;
    QTimer timerVeille_;
};

} // namespace nvx
