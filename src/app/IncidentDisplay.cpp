#include "app/IncidentDisplay.h"

#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Lifecycle.h"
#include "system/Trace.h"

namespace nvx {

namespace {

QString origine(const char* procedure)
{
    return QStringLiteral("Frm_Main:") + QString::fromLatin1(procedure);
}

} // namespace

IncidentDisplay::IncidentDisplay(Host& host, Trace& trace, const Lifecycle& lifecycle)
    : host_(host), trace_(trace), lifecycle_(lifecycle)
{
}

void IncidentDisplay::setBaseCaption(const QString& caption)
{
    baseCaption_ = caption;
    emit changed();
}

QString IncidentDisplay::caption() const
{
    return marked_ ? QStringLiteral("Err: ") + baseCaption_ : baseCaption_;
}

void IncidentDisplay::CheckIncidents_Click()
{
    trap(trace_, origine("CheckIncidents_Click"), [&] {
        marked_ = true;
        flashing_ = true;
        if (windowShown_)
            tabVisible_ = true;
        else
            CheckIncidentsFeuilleNonChargee = true;
        emit changed();
    });
}

void IncidentDisplay::windowShown()
{
    windowShown_ = true;
    if (!CheckIncidentsFeuilleNonChargee)
        return;
    CheckIncidentsFeuilleNonChargee = false;
    CheckIncidents_Click();
}

void IncidentDisplay::CommandIncidentsPurge_Click()
{
    trap(trace_, origine("CommandIncidentsPurge_Click"), [&] {
        const Host::Answer reponse =
            host_.messageBox(Host::Icon::Question, Host::Buttons::YesNo, caption(),
                             QStringLiteral("Voulez-vous purger la liste des incidents ?"), Host::Answer::No);
        if (reponse == Host::Answer::Yes)
            ClearIncidents();
    });
}

void IncidentDisplay::ClearIncidents()
{
    trap(trace_, origine("ClearIncidents"), [&] {
        trace_.clearIncidents();
        flashing_ = false;
        marked_ = false;
        tabVisible_ = false;
        currentTab_ = Upload;
        emit changed();
    });
}

void IncidentDisplay::SftTabsMain_Switched(int index)
{
    trap(trace_, origine("SftTabsMain_Switched"), [&] {
        currentTab_ = index;
        // The person looks at the incidents: no need to call for attention any more.
        if (index == Incidents) {
            flashing_ = false;
            marked_ = false;
        }
        emit changed();
    });
}

void IncidentDisplay::TimerFlash_Timer()
{
    if (!flashing_ || lifecycle_.quitRequested())
        return;
    flashOn_ = !flashOn_;
    emit flashRequested(flashOn_);
}

} // namespace nvx
