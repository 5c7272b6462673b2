#pragma once

#include "job/ScheduleRequest.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <bitset>
#include <functional>

namespace nvx {

class Clock;
class Host;
class HourExporter;
class Lifecycle;
class PlatformSession;
class Replies;
class Reporter;
class RequestIntake;
class Systeme;
struct PlatformStep;

// What came of one job.
struct JobResult {
    bool requestValid = false;   // the request named a real date and a station of the database
    bool statesReceived = false; // the platform gave the hour states
    int hoursNotSent = 0;        // hours the platform could have taken but did not get
    bool authFailure = false;
    int station = 0;
    QDate day;
    std::bitset<24> sentHours;
    // Requested hours that did not go through: not written, refused, or left waiting because the
    // platform did not answer or refused the login.
    std::bitset<24> unsentHours;
    // The last line that said why something failed, without its time.
    QString lastFailure;
    // By hour, the songs whose references the database lacks (see HourExport).
    std::array<QStringList, 24> missingReferences;
};

// Runs one scheduler request from start to end. The path of a request:
//   a datagram arrives at the intake, which queues it and hands its text on (listen);
//   UDPDataArrival_00 parses it into a ScheduleRequest and names the reply target;
//   each requested hour is written by the hour exporter;
//   the platform session reads the hour states, sends the sound FTP account, then imports
//   each transferable hour and marks it as sent, and the file of a sent hour is removed;
//   every step is announced as a progress line, which the replies send back to the scheduler
//   and the windows or the standard output show.
class JobDriver : public QObject {
    Q_OBJECT

public:
    JobDriver(Reporter& reporter, Clock& clock, Host& host, Systeme& systeme, Lifecycle& lifecycle,
              HourExporter& exporteur, PlatformSession& platform);

    // The scheduler link: every request text the intake hands on runs a job, and every line of
    // a job goes back to the scheduler named by its request.
    void listen(RequestIntake& intake, Replies& replies);

    void UDPDataArrival_00(const QString& texte);
    // The "Connecter" command: a login that holds the request queue as a job does; its lines
    // are progress lines. True when connected.
    bool login();

    // The request being run or run last, and its text as shown in the window.
    ScheduleRequest requete;
    QString TexteUDPDonneeRecues;
    // Path of the file written for each hour of the job; emptied once the hour is sent.
    std::array<QString, 24> NomFichierXMLHeure;
    const JobResult& result() const { return resultat_; }
    // True while a job runs.
    bool enCours() const { return enCours_; }

signals:
    // A progress line, stamped with the time ("HH:mm:ss text").
    void progressLine(const QString& ligne);
    // The progress list is emptied; the stamped line is still sent to the scheduler.
    void progressCleared(const QString& ligne);
    // Where the lines of this job are sent back; an empty address sends none.
    void replyTargetChanged(const QString& adresse, qint32 port);
    void jobStarted(const QString& texte);
    // The job's outcome, just before its last lines.
    void jobConcluded(const nvx::JobResult& resultat);
    void jobFinished(const nvx::JobResult& resultat);

private:
    void run(const QString& texte);
    // Intake: clears the window, names the reply target, parses the request.
    void receive(const QString& texte);
    // The hour files, then the platform steps.
    void createAndSend(const QDate& date);
    // The request's station is one of the database's (and the request is valid).
    bool stationKnown();
    // Writes one hour's file; an hour not written is said and counted as not sent.
    void createHour(int heure);
    // One trace line per hour whose songs lack references: how many, and the first few.
    void reportMissingReferences();
    bool authenticationFailed();
    // An exchange of this job found the platform unreachable.
    bool injoignable();
    // No authentication failure is recorded and the platform has not been found unreachable.
    bool platformAvailable();
    // The program is closing: one line names the hours whose files stay for a later job.
    void reportKeptFiles();
    // One forced login at the start of the platform steps, when a failure is still recorded.
    void retryAuthentication();
    // Runs a platform step and passes its lines on; on an authentication failure authenticates
    // once more and runs it a second time. Returns the step's last result.
    bool withRetry(const std::function<PlatformStep()>& etape);
    // Runs a step under the job's trap and passes its lines on.
    bool runStep(const std::function<PlatformStep()>& etape);
    void message(const QString& texte);
    // An hour that did not go through: counted, and its line said and kept as the last failure.
    void hourNotSent(int heure, const QString& texte = {});
    void failure(const QString& texte);
    // Requested hours whose files wait because the platform did not answer or refused the login.
    void markWaitingHours();
    // Sends one hour's file when the platform allows it, then marks the hour and removes the file.
    void transferHour(int heure, const QDate& date);

    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Systeme& systeme_;
    Lifecycle& lifecycle_;
    HourExporter& export_;
    PlatformSession& platform_;
    bool enCours_ = false;
    std::bitset<24> hoursNotCreated_;
    JobResult resultat_;
};

} // namespace nvx
