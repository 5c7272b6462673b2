#pragma once

#include "common/JobSteps.h"
#include "export/ItemBuilder.h"
#include "export/MixPointReader.h"
#include "export/ScheduleDocument.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

namespace nvx {

class Clock;
class Configuration;
class Pervasive;
class Reporter;
class Settings;
struct AppFlags;

// Writes the schedule XML file of one hour of a station: a header that names the radio, the
// station, the author and the hour, then one item per schedule row of the hour in key order,
// with its song, artists, category, durations and mix points. The file appears whole under
// its final name or not at all.
class ScheduleExport final : public ExportStep {
public:
    ScheduleExport(AppFlags& flags, Reporter& reporter, Clock& clock, Pervasive& pervasive,
                   Settings& settings, Configuration& config);

    // True once the person has confirmed that the program quits: marker reads stop at once.
    std::function<bool()> quitterConfirme;

    HourExport UDPDataArrival_03_Create_XML(qint16 base, qint16 noStation, const QString& schedulerVersion,
                                            const QString& stationLib, const QString& userId,
                                            const QString& userLib, const QString& dateConducteur, int heure,
                                            const QString& buildDate, HourFiles& fichiers) override;
    int nombreStations(qint16 base) const override;

    // Full path (suite form) of the file of an hour in the folder.
    static QString NomFichierXML(const QString& dossier, const QString& dateConducteur, int heure,
                                 qint16 noStation);

private:
    // What the reading of an hour's rows found: how many, and the status that ended it when it
    // was not the end of the file.
    struct Lecture {
        int lignes = 0;
        qint16 statut = 0;
    };
    // Every row of the hour, in key order, into the document.
    Lecture lignes(ScheduleDocument& document, qint16 noStation, const QString& dateConducteur, int heure);
    ScheduleDocument::Entete entete(qint16 noStation, const QString& schedulerVersion,
                                    const QString& stationLib, const QString& userId, const QString& userLib,
                                    const QString& dateConducteur, int heure, const QString& buildDate) const;
    // Why the rows could not be read, for the scheduler's operator.
    static QString raisonLecture(qint16 statut, qint16 noStation);
    // The build date handed over by the job driver, as text in the system's date format.
    QDateTime dateConstruction(const QString& texte) const;
    // Writes the file under a temporary name and renames it into place; on failure nothing is
    // left at the final name, raison says why in French and the failure is raised.
    void ecrire(const QString& chemin, const QByteArray& contenu, QString& raison);

    AppFlags& flags_;
    Reporter& reporter_;
    Clock& clock_;
    Pervasive& pervasive_;
    Settings& settings_;
    Configuration& config_;
    MixPointReader pointeurs_;
    ItemBuilder items_;
};

} // namespace nvx
