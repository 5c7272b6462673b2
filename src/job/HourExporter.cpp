#include "job/HourExporter.h"

#include "job/ScheduleRequest.h"

namespace nvx {

HourExport ScheduleHourExporter::exportHour(const ScheduleRequest& requete, int heure)
{
    ScheduleHour h;
    h.noStation = requete.NoStation;
    h.dateConducteur = requete.DateConducteur;
    h.heure = heure;
    h.schedulerVersion = requete.SchedulerVersion;
    h.stationLib = requete.StationLib;
    h.userId = requete.UserId;
    h.userLib = requete.UserLib;
    h.buildDate = requete.BuilddDate;
    return exporteur_.UDPDataArrival_03_Create_XML(h);
}

} // namespace nvx
