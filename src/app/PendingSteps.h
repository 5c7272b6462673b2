#pragma once

#include "common/JobSteps.h"

namespace nvx {

class Reporter;

// Stand-ins for the export and platform steps while those subsystems are not part of the
// program: each call says in the trace that the step is not available and reports no usable
// answer, so a job runs through all its lines without writing or sending anything.
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

class PlateformeNonDisponible final : public PlatformSteps {
public:
    explicit PlateformeNonDisponible(Reporter& reporter) : reporter_(reporter) {}
    bool PbBErreurAuthentification() const override { return false; }
    QString PbSCleAPI() const override { return {}; }
    QString PbSSecretAPI() const override { return {}; }
    bool UDPDataArrival_04_01_Authentification(const QString&, const QString&, bool) override;
    bool UDPDataArrival_04_02_Hours_Get_Status(qint16, const QDate&, qint16, qint16) override;
    qint16 StatutHeure(int) const override { return -1; }
    bool UDPDataArrival_04_03_FTP_Sons(int) override;
    bool UDPDataArrival_04_04_Conducteur(qint16, const QString&) override;
    bool UDPDataArrival_04_05_Hours_Set_Status(qint16, const QDate&, int, int) override;

private:
    bool nonDisponible(const QString& etape);
    Reporter& reporter_;
};

} // namespace nvx
