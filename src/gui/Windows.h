#pragma once

#include "gui/GuiShell.h"

#include <QPointer>

#include <memory>

namespace nvx {

class Application;
class FrmAbout;
class FrmSetupFTPWindow;
class GuiHost;
class LogWindow;
class FrmSetupWindow;

// The program's windows for one run: the shell over the core, the About, log and FTP tester
// windows it opens, and the host's dialogs owned by the main window.
class Windows {
public:
    Windows(Application& application, GuiHost& host);
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    GuiShell& shell() { return shell_; }
    // Whether a display can take windows: a desktop session, or a platform named for Qt.
    static bool displayAvailable();

private:
    void showAbout();
    void showLog();
    void toggleOptions();
    void showFtpTester();

    Application& application_;
    GuiShell shell_;
    QPointer<FrmAbout> about_;
    QPointer<LogWindow> log_;
    QPointer<FrmSetupWindow> options_;
    QPointer<FrmSetupFTPWindow> ftpTester_;
};

} // namespace nvx
