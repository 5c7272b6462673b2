#pragma once

#include "net/HttpTransport.h"
#include "platform/PlatformConfig.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"
#include "platform/ResponseAnalysis.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

namespace nvx {

class Clock;
class Host;
class Lifecycle;
class Reporter;
class Systeme;

// What came of one platform step: whether its exchanges got a usable answer, and the progress
// lines it calls for, in order, for whoever runs the step to pass on.
struct PlatformStep {
    bool ok = false;
    QStringList lines;
};

// The voice-tracking platform as the job and the connect command see it: authentication with
// the stored token, the hour states of a day, the sound FTP account, the import of an hour's
// schedule and the hour marked as sent. Owns the token values and the hour states. An
// authentication failure is recorded in PbBErreurAuthentification(), which only a successful
// authentication clears.
class PlatformClient final : public QObject {
    Q_OBJECT

public:
    PlatformClient(const PlatformConfig& config, Reporter& reporter, Clock& clock, Host& host,
                   Systeme& systeme, const Lifecycle& lifecycle);

    // New settings (the connect command takes its key and secret from here).
    void setConfig(const PlatformConfig& config);
    const PlatformConfig& config() const { return config_; }

    bool PbBErreurAuthentification() const { return v_.PbBErreurAuthentification; }
    QString PbSCleAPI() const { return v_.PbSCleAPI; }
    QString PbSSecretAPI() const { return v_.PbSSecretAPI; }
    PlatformStep UDPDataArrival_04_01_Authentification(const QString& cle, const QString& secret,
                                                       bool forcer);
    // Fills the states of the hours in range; every other hour reads -1.
    PlatformStep UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                                       qint16 hhFin);
    qint16 StatutHeure(int heure) const;
    PlatformStep UDPDataArrival_04_03_FTP_Sons(int ligne);
    PlatformStep UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier);
    PlatformStep UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                                       int derniere);
    // A job's exchanges begin: what was noted of the previous job's exchanges is forgotten.
    void beginJob();
    // An exchange of this job found the platform unreachable (refused, unknown host, time-out):
    // the job asks nothing more of it and keeps its files for a later job.
    bool unreachable() const { return unreachable_; }

    // Authenticates with the installation's key and secret, reusing the stored token when the
    // platform still accepts it; ok when connected.
    PlatformStep login();

    bool PbBTokenValide() const { return v_.PbBTokenValide; }
    QString TokenId() const { return v_.TokenId; }
    const PlatformValues& valeurs() const { return v_; }
    PlatformValues& valeurs() { return v_; }
    ResponseAnalysis& analyse() { return analyse_; }

    // The base of every request URL.
    QString urlBase() const;

signals:
    // Connected to the platform, or not (any more).
    void connectedChanged(bool connecte);
    // The platform's FTP account shown by the main window is emptied before it is asked again.
    void ftpPanelCleared();

private:
    // Sends one request and analyses its answer. A request that got no answer, or an answer
    // that is not XML, is reported and counts as not answered.
    AnalyseResultat echanger(const QString& procedure, const PlatformRequest& requete);
    bool authentifier(const QString& cle, const QString& secret, bool forcer);
    bool authenticateTrapped(const QString& cle, const QString& secret, bool forcer);
    // The step's result with the lines gathered since the previous one.
    PlatformStep etape(bool ok);

    PlatformConfig config_;
    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Systeme& systeme_;
    const Lifecycle& lifecycle_;
    PlatformValues v_;
    ResponseAnalysis analyse_;
    HttpTransport transport_;
    QStringList lignes_;
    // "Plateforme non configurée" is said once per job (and once per connect command).
    bool nonConfigureSignale_ = false;
    // An exchange of this job (or connect command) found the platform unreachable: no other is
    // tried until the next one.
    bool unreachable_ = false;
};

} // namespace nvx
