#pragma once

#include "link/ScheduleRequest.h"

#include <QString>

#include <bitset>
#include <functional>

namespace nvx {

class Reporter;
class Clock;
class Host;
class Systeme;
class Lifecycle;
class ProgressLines;
class ExportStep;
class PlatformSteps;
struct AppFlags;
struct HourFiles;

// Runs one scheduler request from start to end: the hour files, then the platform exchanges,
// every step announced as a progress line that is echoed to the scheduler.
class JobDriver {
public:
    JobDriver(AppFlags& flags, Reporter& reporter, Clock& clock, Host& host, Systeme& systeme,
              Lifecycle& lifecycle, ProgressLines& lignes, ExportStep& exportStep, PlatformSteps& platform,
              HourFiles& fichiers);

    void UDPDataArrival_00(const QString& texte);

    // The request being run or run last, and its text as shown in the window.
    ScheduleRequest requete;
    QString TexteUDPDonneeRecues;
    // Hours of the last job that the platform could have taken but did not get.
    int heuresNonEnvoyees() const { return heuresNonEnvoyees_; }
    // Whether the last job got the hour states from the platform.
    bool etatsObtenus() const { return etatsObtenus_; }
    // Whether the last request named a real date and a station of the database.
    bool requeteValide() const { return requeteValide_; }
    // The export used from the next job on.
    void setExportStep(ExportStep& exportStep) { export_ = &exportStep; }
    // True while a job runs.
    bool enCours() const { return enCours_; }

private:
    void executer(const QString& texte);
    // Intake: clears the window, resets the reply target, parses the request.
    void recevoir(const QString& texte);
    // The hour files, then the platform steps.
    void creerEtEnvoyer(const QDate& date);
    // The request's station is one of the database's (and the request is valid).
    bool stationConnue();
    // Writes one hour's file; an hour not written is said and counted as not sent.
    void creerHeure(int heure, const QString& dateConstruction);
    bool authentificationEnEchec();
    // An exchange of this job found the platform unreachable.
    bool injoignable();
    // No authentication failure is recorded and the platform has not been found unreachable.
    bool plateformeDisponible();
    // The program is closing: one line names the hours whose files stay for a later job.
    void direFichiersConserves();
    // One forced login at the start of the platform steps, when a failure is still recorded.
    void reprendreAuthentification();
    // Runs a platform step; on an authentication failure authenticates once more and runs it
    // a second time. Returns the step's last result.
    bool avecReprise(const std::function<bool()>& etape);
    void message(const QString& texte);
    // Sends one hour's file when the platform allows it, then marks the hour and removes the file.
    void transfererHeure(int heure, const QDate& date);

    AppFlags& flags_;
    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Systeme& systeme_;
    Lifecycle& lifecycle_;
    ProgressLines& lignes_;
    ExportStep* export_;
    PlatformSteps& platform_;
    HourFiles& fichiers_;
    bool enCours_ = false;
    int heuresNonEnvoyees_ = 0;
    std::bitset<24> heuresNonCreees_;
    bool etatsObtenus_ = false;
    bool requeteValide_ = false;
};

} // namespace nvx
