#pragma once

#include "app/Standby.h"

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

namespace nvx {

// The standby on this desktop: the program's top-level windows (the main window is number 0,
// the others follow as they were registered) and the icon of the notification area with its
// "Flottant" menu ("Afficher", "A propos..."). A left click on the icon shows the windows, as
// the desktop's trays do.
class Frm_SysTray : public QObject, public StandbyDesktop {
    Q_OBJECT

public:
    explicit Frm_SysTray(QWidget* mainWindow, QObject* parent = nullptr);

    // Another window of the program that a standby hides and "Afficher" shows.
    void addWindow(QWidget* window);
    Standby& standby() { return standby_; }
    QSystemTrayIcon& icon() { return icon_; }
    QMenu& MnuFlottant() { return menu_; }
    // Where the desktop may have no notification area; the tests force both answers.
    std::function<bool()> trayCheck = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    QList<int> visibleWindows() const override;
    void hideWindow(int window) override;
    void minimiseWindow(int window) override;
    void showWindow(int window) override;
    bool trayAvailable() const override { return trayCheck(); }
    void showIcon(const QString& tip) override;
    void showIncidentIcon(const QString& line) override;
    void removeIcon() override;

signals:
    void aboutRequested();

private:
    QWidget* window(int number) const;

    QList<QPointer<QWidget>> windows_;
    QSystemTrayIcon icon_;
    QMenu menu_;
    QIcon normal_;
    QIcon incident_;
    Standby standby_;
};

} // namespace nvx
