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

PlatformStep PlatformClient::UDPDataArrival_04_01_Authentification(const QString& cle, const QString& secret,
                                                                   bool forcer)
{
    return etape(authenticateTrapped(cle, secret, forcer));
}

bool PlatformClient::authenticateTrapped(const QString& cle, const QString& secret, bool forcer)
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
        emit ftpPanelCleared();
        echanger(kProcedure, RequeteFtpCredentials(v_.TokenId));
    }
    return v_.PbBTokenValide && !v_.PbBErreurAuthentification;
}

PlatformStep PlatformClient::login()
{
    trap(reporter_, QStringLiteral("Frm_Main:CommandConnecter_Click"), [&] {
        emit connectedChanged(false);
        v_.PbBErreurAuthentification = true;
        beginJob();
        v_.PbSCleAPI = config_.Cle;
        v_.PbSSecretAPI = config_.Secret;
        v_.PbSCleRegistreToken = kCleRegistreTokenBase + u'\\' + v_.PbSCleAPI;

        authenticateTrapped(v_.PbSCleAPI, v_.PbSSecretAPI, false);
        // A second try is for a refused token; a platform that did not answer would only make
        // it wait out the same time-out again.
        if (v_.PbBErreurAuthentification && !unreachable_) {
            host_.pump();
            authenticateTrapped(v_.PbSCleAPI, v_.PbSSecretAPI, true);
        }
        if (v_.PbBTokenValide)
            emit connectedChanged(true);
    });
    return etape(v_.PbBTokenValide);
}

} // namespace nvx
