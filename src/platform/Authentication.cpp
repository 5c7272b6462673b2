#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Reporter.h"
#include "platform/PlatformClient.h"
#include "platform/TokenStore.h"

namespace nvx {

namespace {

const QString kProcedure = QStringLiteral("UDPDataArrival_04_01_Authentification");

// A token that expires within this many seconds is not reused.
constexpr qint64 kMargeExpiration = 3600;

} // namespace

bool PlatformClient::UDPDataArrival_04_01_Authentification(const QString& cle, const QString& secret,
                                                           bool forcer)
{
    bool ok = false;
    trap(reporter_, QStringLiteral("Frm_MainBis:") + kProcedure,
         [&] { ok = authentifier(cle, secret, forcer); });
    return ok;
}

bool PlatformClient::authentifier(const QString& cle, const QString& secret, bool forcer)
{
    v_.PbBTokenValide = false;
    bool login = forcer;

    if (!forcer) {
        UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(systeme_, v_);
        if (v_.TokenId.trimmed().isEmpty()) {
            login = true;
        } else {
            echanger(kProcedure, RequeteAuthCheck(v_.TokenId));
            if (v_.PbBErreurAuthentification) {
                // The stored token was refused: a new login follows.
                v_.PbBErreurAuthentification = false;
                v_.PbBTokenValide = false;
            } else if (!v_.TokenDateExpiration.isValid() ||
                       clock_.now().addSecs(kMargeExpiration) > v_.TokenDateExpiration) {
                v_.PbBTokenValide = false;
            }
            if (v_.PbBTokenValide)
                UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(systeme_, v_);
            else
                login = true;
        }
    }

    if (login) {
        echanger(kProcedure, RequeteAuth(cle, secret));
        // Only a granted login replaces the stored token; a refused, unanswered or unknown
        // answer leaves the store as it was.
        if (!v_.PbBErreurAuthentification && v_.PbBTokenValide)
            UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(systeme_, v_);
    } else {
        v_.PbBTokenValide = true;
    }

    if (v_.PbBTokenValide) {
        if (viderPanneauFtp)
            viderPanneauFtp();
        echanger(kProcedure, RequeteFtpCredentials(v_.TokenId));
    }
    return v_.PbBTokenValide && !v_.PbBErreurAuthentification;
}

void PlatformClient::CommandConnecter_Click()
{
    trap(reporter_, QStringLiteral("Frm_Main:CommandConnecter_Click"), [&] {
        if (afficherConnecte)
            afficherConnecte(false);
        v_.PbBErreurAuthentification = true;
        beginJob();
        v_.PbSCleAPI = config_.Cle;
        v_.PbSSecretAPI = config_.Secret;
        v_.PbSCleRegistreToken = kCleRegistreTokenBase + u'\\' + v_.PbSCleAPI;

        UDPDataArrival_04_01_Authentification(v_.PbSCleAPI, v_.PbSSecretAPI, false);
        // A second try is for a refused token; a platform that did not answer would only make
        // it wait out the same time-out again.
        if (v_.PbBErreurAuthentification && !unreachable_) {
            host_.pump();
            UDPDataArrival_04_01_Authentification(v_.PbSCleAPI, v_.PbSSecretAPI, true);
        }

        if (v_.PbBTokenValide) {
            if (afficherConnecte)
                afficherConnecte(true);
        } else {
            host_.messageBox(Host::Icon::Exclamation, Host::Buttons::Ok, config_.TitreFenetre,
                             QStringLiteral("Non connecté"), Host::Answer::Ok);
        }
    });
}

} // namespace nvx
