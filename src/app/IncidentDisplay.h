#pragma once

#include <QObject>
#include <QString>

namespace nvx {

class Host;
class Lifecycle;
class Trace;

// How the main window calls for attention to incidents, without the window: quiet (the
// "Incidents" tab hidden, the normal caption) until an incident comes, then pending (the tab
// shown, the caption marked "Err: ", the window flashing) until the list is purged. Opening the
// incidents tab stops the flashing but keeps the lines. An incident raised before the window
// is shown is remembered and shown with it.
class IncidentDisplay : public QObject {
    Q_OBJECT

public:
    // The tabs, in order.
    enum Tab { Upload = 0, Download = 1, Incidents = 2 };

    IncidentDisplay(Host& host, Trace& trace, const Lifecycle& lifecycle);

    // The caption the program has now (without the incident mark).
    void setBaseCaption(const QString& caption);
    QString caption() const;
    bool incidentsTabVisible() const { return tabVisible_; }
    int currentTab() const { return currentTab_; }
    bool flashing() const { return flashing_; }
    // An incident came before the window was shown.
    bool CheckIncidentsFeuilleNonChargee = false;

    // An incident line was added to the list.
    void CheckIncidents_Click();
    // "Purger": asks, then empties the list.
    void CommandIncidentsPurge_Click();
    void ClearIncidents();
    void SftTabsMain_Switched(int index);
    // Every tick of the flash timer while incidents are pending.
    void TimerFlash_Timer();
    // The window is shown for the first time: an incident raised before is shown now.
    void windowShown();

signals:
    // Read the state again: caption, tab, flashing.
    void changed();
    // The window's caption flashes: on, then off, at each tick.
    void flashRequested(bool on);

private:
    Host& host_;
    Trace& trace_;
    const Lifecycle& lifecycle_;
    QString baseCaption_;
    bool marked_ = false; // the caption carries "Err: "
    bool tabVisible_ = false;
    bool flashing_ = false;
    bool flashOn_ = false;
    bool windowShown_ = false;
    int currentTab_ = Upload;
};

} // namespace nvx
