#pragma once

#include "export/ItemBuilder.h"
#include "export/MixPointReader.h"
#include "export/ScheduleDocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

namespace nvx {

class Clock;
class Configuration;
class Pervasive;
class Lifecycle;
class Reporter;
class Settings;
struct Identity;

// One hour of a station's schedule, as the scheduler asked for it.
struct ScheduleHour {
    qint16 noStation = 0;
    QString dateConducteur; // "YYYYMMDD"
    int heure = 0;
    QString schedulerVersion;
    QString stationLib;
    QString userId;
    QString userLib;
    QDateTime buildDate; // when the scheduler built the schedule
};

// What came of the export of one hour.
struct HourExport {
    enum class Outcome {
        Written, // the file is there, at fichier
        Empty,   // the hour holds no row: no file, nothing to send
        Failed,  // the hour could not be read or written: no file, nothing to send
    };
    Outcome outcome = Outcome::Failed;
    QString fichier; // path (suite form) of the written file
    QString raison;  // why it failed, in French, for the scheduler's operator
    // Songs of the hour whose references the database lacks, one entry each:
    // "<song id> <title>: <what is missing>".
    QStringList missingReferences = {};
};

// Writes the schedule XML file of one hour of a station: a header that names the radio, the
// station, the author and the hour, then one item per schedule row of the hour in key order,
// with its song, artists, category, durations and mix points. The file appears whole under
// its final name or not at all.
class ScheduleExport final {
public:
    // Once a quit is requested, marker reads stop at once.
    ScheduleExport(Identity& identity, const Lifecycle& lifecycle, Reporter& reporter, Clock& clock,
                   Pervasive& pervasive, Settings& settings, Configuration& config);

    // The hour's file in the XML folder of the settings, read from the current database. An
    // hour that is not written leaves no file of that hour behind, not even one of an earlier job.
    HourExport UDPDataArrival_03_Create_XML(const ScheduleHour& h);
    // Number of stations of the current database.
    int stationCount() const;

    // Full path (suite form) of the file of an hour in the folder.
    static QString NomFichierXML(const QString& dossier, const QString& dateConducteur, int heure,
                                 qint16 noStation);

private:
    // What the reading of an hour's rows found: how many, and the status that ended it when it
    // was not the end of the file.
    struct Lecture {
        int lignes = 0;
        qint16 statut = 0;
        QStringList manquants; // as HourExport::missingReferences
    };
    // Every row of the hour, in key order, into the document.
    Lecture lignes(ScheduleDocument& document, qint16 noStation, const QString& dateConducteur, int heure);
    ScheduleDocument::Entete entete(const ScheduleHour& h) const;
    // Why the rows could not be read, for the scheduler's operator.
    static QString raisonLecture(qint16 statut, qint16 noStation);
    // Writes the file under a temporary name and renames it into place; on failure nothing is
    // left at the final name, raison says why in French and the failure is raised.
    void ecrire(const QString& chemin, const QByteArray& contenu, QString& raison);

    Identity& identity_;
    Reporter& reporter_;
    Clock& clock_;
    Pervasive& pervasive_;
    Settings& settings_;
    Configuration& config_;
    MixPointReader pointeurs_;
    ItemBuilder items_;
};

} // namespace nvx
