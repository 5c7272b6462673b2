#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace nvx {

// What the standby needs of the desktop: the program's windows (by a number of the caller's
// choosing, the main window being 0), the notification area and its icon.
class StandbyDesktop {
public:
    virtual ~StandbyDesktop() = default;
    // The windows now visible, the main window first when it is.
    virtual QList<int> visibleWindows() const = 0;
    virtual void hideWindow(int window) = 0;
    virtual void minimiseWindow(int window) = 0;
    // Shows the window and gives it the focus.
    virtual void showWindow(int window) = 0;
    virtual bool trayAvailable() const = 0;
    virtual void showIcon(const QString& tip) = 0;
    // The icon in its incident form, with a notification of the line.
    virtual void showIncidentIcon(const QString& line) = 0;
    virtual void removeIcon() = 0;
};

// The standby: every visible window is hidden and an icon waits in the notification area until
// "Afficher" (or a click on the icon) shows them again, the main window first. Where the desktop
// has no notification area the windows are minimised instead, so the program can always be
// reached from the task bar.
class Standby : public QObject {
    Q_OBJECT

public:
    static constexpr int kMainWindow = 0;

    explicit Standby(StandbyDesktop& desktop);

    bool EnVeille() const { return enVeille_; }
    // The windows the standby hid, the main window first.
    const QList<int>& ListeFrm() const { return listeFrm_; }

    // Goes to standby; hideAll hides the visible windows, tip is the icon's text.
    void MiseEnVeille(bool hideAll, const QString& tip);
    // "Afficher": the hidden windows come back, the icon goes.
    void AfficherFeuille();
    // An incident during standby: the icon says so; the windows stay hidden until "Afficher".
    void incidentRaised(const QString& line);

private:
    StandbyDesktop& desktop_;
    bool enVeille_ = false;
    QList<int> listeFrm_;
};

} // namespace nvx
