#pragma once

#include "common/JobSteps.h"

namespace nvx {

class Reporter;

// Stand-in for the export step until the record files are open: each call says in the trace
// that the export is not available, so a job runs through all its lines without writing.
class ExportNonDisponible final : public ExportStep {
public:
    explicit ExportNonDisponible(Reporter& reporter) : reporter_(reporter) {}
    void UDPDataArrival_03_Create_XML(qint16 base, qint16 noStation, const QString& schedulerVersion,
                                      const QString& stationLib, const QString& userId,
                                      const QString& userLib, const QString& dateConducteur, int heure,
                                      const QString& buildDate, HourFiles& fichiers) override;

private:
    Reporter& reporter_;
};

} // namespace nvx
