#include "app/Standby.h"

namespace nvx {

Standby::Standby(StandbyDesktop& desktop) : desktop_(desktop) {}

void Standby::MiseEnVeille(bool hideAll, const QString& tip)
{
    if (!desktop_.trayAvailable()) {
        // Nothing could bring a hidden window back: the windows only go to the task bar.
        for (const int fenetre : desktop_.visibleWindows())
            desktop_.minimiseWindow(fenetre);
        return;
    }
    if (!enVeille_)
        desktop_.showIcon(tip);
    if (hideAll) {
        // Windows hidden by an earlier standby stay on the list: forgetting them would leave them
        // hidden for good.
        if (!listeFrm_.contains(kMainWindow))
            listeFrm_.prepend(kMainWindow);
        for (const int fenetre : desktop_.visibleWindows()) {
            desktop_.hideWindow(fenetre);
            if (!listeFrm_.contains(fenetre))
                listeFrm_.append(fenetre);
        }
    }
    enVeille_ = true;
}

void Standby::AfficherFeuille()
{
    if (listeFrm_.removeOne(kMainWindow))
        desktop_.showWindow(kMainWindow);
    for (const int fenetre : std::as_const(listeFrm_))
        desktop_.showWindow(fenetre);
    listeFrm_.clear();
    if (enVeille_)
        desktop_.removeIcon();
    enVeille_ = false;
}

void Standby::incidentRaised(const QString& line)
{
    if (enVeille_)
        desktop_.showIncidentIcon(line);
}

} // namespace nvx
