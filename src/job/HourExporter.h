#pragma once

#include "export/ScheduleExport.h"

namespace nvx {

struct Identity;
struct ScheduleRequest;

// Writes the file of one hour of a request: what the job needs of the export.
class HourExporter {
public:
    virtual ~HourExporter() = default;
    // The hour's file, or why there is none; an hour that is not written leaves no file of that
    // hour behind.
    virtual HourExport exportHour(const ScheduleRequest& requete, int heure) = 0;
    // Number of stations of the current database: a request is for one of 1 to that number.
    virtual int stationCount() const = 0;
};

// The schedule export of the current database as the job's hour exporter.
class ScheduleHourExporter final : public HourExporter {
public:
    explicit ScheduleHourExporter(ScheduleExport& exporteur) : exporteur_(exporteur) {}
    HourExport exportHour(const ScheduleRequest& requete, int heure) override;
    int stationCount() const override { return exporteur_.stationCount(); }

private:
    ScheduleExport& exporteur_;
};

} // namespace nvx
