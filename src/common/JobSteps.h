#pragma once

#include <QDate>
#include <QString>

namespace nvx {

struct HourFiles;

// Where a job's progress lines go: the main window and, when the request asks for it, the
// scheduler.
class ProgressLines {
public:
    virtual ~ProgressLines() = default;
    virtual void MsgListeEtScheduler(const QString& message) = 0;
    // No reply until a target is set.
    virtual void resetTarget() = 0;
    virtual void setTarget(const QString& address, qint32 port) = 0;
};

// What came of the export of one hour.
struct HourExport {
    enum class Outcome {
        Written, // the file is there, its path in the hour files
        Empty,   // the hour holds no row: no file, nothing to send
        Failed,  // the hour could not be read or written: no file, nothing to send
    };
    Outcome outcome = Outcome::Written;
    QString raison; // why it failed, in French, for the scheduler's operator
};

// Writes the schedule XML file of one hour and records its path in the hour files. An hour
// that is not written leaves no file of that hour behind, not even one of an earlier job.
class ExportStep {
public:
    virtual ~ExportStep() = default;
    virtual HourExport UDPDataArrival_03_Create_XML(qint16 base, qint16 noStation,
                                                    const QString& schedulerVersion,
                                                    const QString& stationLib, const QString& userId,
                                                    const QString& userLib, const QString& dateConducteur,
                                                    int heure, const QString& buildDate,
                                                    HourFiles& fichiers) = 0;
    // Number of stations of the database: a request is for one of 1 to that number.
    virtual int nombreStations(qint16 base) const = 0;
};

// The exchanges with the voice-tracking platform used by a job. Each step returns true when
// its exchange got a usable answer; an authentication failure is recorded in
// PbBErreurAuthentification(), which only a successful authentication clears.
class PlatformSteps {
public:
    virtual ~PlatformSteps() = default;
    virtual bool PbBErreurAuthentification() const = 0;
    virtual QString PbSCleAPI() const = 0;
    virtual QString PbSSecretAPI() const = 0;
    virtual bool UDPDataArrival_04_01_Authentification(const QString& cle, const QString& secret,
                                                       bool forcer) = 0;
    // Fills the states of the hours in range; every other hour reads -1.
    virtual bool UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                                       qint16 hhFin) = 0;
    virtual qint16 StatutHeure(int heure) const = 0;
    virtual bool UDPDataArrival_04_03_FTP_Sons(int ligne) = 0;
    virtual bool UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) = 0;
    virtual bool UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                                       int derniere) = 0;
    // A job's exchanges begin: what was noted of the previous job's exchanges is forgotten.
    virtual void beginJob() = 0;
    // An exchange of this job found the platform unreachable (refused, unknown host, time-out):
    // the job asks nothing more of it and keeps its files for a later job.
    virtual bool unreachable() const = 0;
};

} // namespace nvx
