#pragma once

#include "common/JobSteps.h"
#include "net/HttpTransport.h"
#include "platform/PlatformConfig.h"
#include "platform/PlatformRequests.h"
#include "platform/PlatformValues.h"
#include "platform/ResponseAnalysis.h"

#include <QString>

#include <functional>

namespace nvx {

class Clock;
class Host;
class Reporter;
class Systeme;

// The voice-tracking platform as the job and the connect command see it: authentication with
// the stored token, the hour states of a day, the sound FTP account, the import of an hour's
// schedule and the hour marked as sent. Owns the token values and the hour states.
class PlatformClient final : public PlatformSteps {
public:
    PlatformClient(const PlatformConfig& config, Reporter& reporter, Clock& clock, Host& host,
                   Systeme& systeme, ProgressLines& lignes);

    // New settings (the connect command takes its key and secret from here).
    void setConfig(const PlatformConfig& config);
    const PlatformConfig& config() const { return config_; }

    // PlatformSteps
    bool PbBErreurAuthentification() const override { return v_.PbBErreurAuthentification; }
    QString PbSCleAPI() const override { return v_.PbSCleAPI; }
    QString PbSSecretAPI() const override { return v_.PbSSecretAPI; }
    bool UDPDataArrival_04_01_Authentification(const QString& cle, const QString& secret,
                                               bool forcer) override;
    bool UDPDataArrival_04_02_Hours_Get_Status(qint16 noStation, const QDate& date, qint16 hhDeb,
                                               qint16 hhFin) override;
    qint16 StatutHeure(int heure) const override;
    bool UDPDataArrival_04_03_FTP_Sons(int ligne) override;
    bool UDPDataArrival_04_04_Conducteur(qint16 noStation, const QString& fichier) override;
    bool UDPDataArrival_04_05_Hours_Set_Status(qint16 noStation, const QDate& date, int premiere,
                                               int derniere) override;
    void beginJob() override;
    bool unreachable() const override { return unreachable_; }

    // The "Connecter" command: authenticates with the installation's key and secret, reusing
    // the stored token when the platform still accepts it, then shows the outcome.
    void CommandConnecter_Click();

    bool PbBTokenValide() const { return v_.PbBTokenValide; }
    QString TokenId() const { return v_.TokenId; }
    const PlatformValues& valeurs() const { return v_; }
    PlatformValues& valeurs() { return v_; }
    ResponseAnalysis& analyse() { return analyse_; }

    // True once the program has been asked to close: exchanges stop at once.
    std::function<bool()> quitterConfirme;

    // What the main window shows of the connection; the windows set these.
    std::function<void(bool connecte)> afficherConnecte;
    std::function<void()> viderPanneauFtp;

    // The base of every request URL.
    QString urlBase() const;

private:
    // Sends one request and analyses its answer. A request that got no answer, or an answer
    // that is not XML, is reported and counts as not answered.
    AnalyseResultat echanger(const QString& procedure, const PlatformRequest& requete);
    bool authentifier(const QString& cle, const QString& secret, bool forcer);

    PlatformConfig config_;
    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Systeme& systeme_;
    ProgressLines& lignes_;
    PlatformValues v_;
    ResponseAnalysis analyse_;
    HttpTransport transport_;
    // "Plateforme non configurée" is said once per job (and once per connect command).
    bool nonConfigureSignale_ = false;
    // An exchange of this job (or connect command) found the platform unreachable: no other is
    // tried until the next one.
    bool unreachable_ = false;
};

} // namespace nvx
