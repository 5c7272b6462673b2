#include "platform/PlatformClient.h"

#include "common/ErrorTrap.h"
#include "common/Reporter.h"
#include "platform/TokenStore.h"

namespace nvx {

namespace {

// Transport failures are numbered like the errors of an HTTP component: this base plus the
// client's own failure number.
constexpr qint32 kErreurTransport = qint32(0x80040000u) + 12000;

} // namespace

PlatformClient::PlatformClient(const PlatformConfig& config, Reporter& reporter, Clock& clock, Host& host,
                               Systeme& systeme, ProgressLines& lignes)
    : reporter_(reporter), clock_(clock), host_(host), systeme_(systeme), lignes_(lignes),
      analyse_(reporter, clock, lignes, v_), transport_(host)
{
    transport_.abandon = [this] { return quitterConfirme && quitterConfirme(); };
    setConfig(config);
}

void PlatformClient::setConfig(const PlatformConfig& config)
{
    // The key and secret of the installation are known from start-up, so that a job's forced
    // authentication works (and stores its token) before anyone has pressed "Connecter". They
    // are taken again only when the settings change them: the platform may have replaced the
    // key with the account's own identifier since.
    if (config.Cle != config_.Cle || config.Secret != config_.Secret) {
        v_.PbSCleAPI = config.Cle;
        v_.PbSSecretAPI = config.Secret;
        v_.PbSCleRegistreToken =
            config.Cle.isEmpty() ? QString() : kCleRegistreTokenBase + u'\\' + config.Cle;
    }
    config_ = config;
    analyse_.setDossierXML(config.DossierXML);
    transport_.setDelais(config.DelaiConnexion, config.DelaiReponse);
}

QString PlatformClient::urlBase() const
{
    QString base = config_.URL.trimmed();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + QStringLiteral("/vlapi");
}

qint16 PlatformClient::StatutHeure(int heure) const
{
    return heure >= 0 && heure < 24 ? v_.StatutHeure[std::size_t(heure)] : qint16(-1);
}

AnalyseResultat PlatformClient::echanger(const QString& procedure, const PlatformRequest& requete)
{
    const QString origine = QStringLiteral("Frm_MainBis:") + procedure;
    const auto ligne = [&](const QString& texte) {
        trap(reporter_, origine, [&] { lignes_.MsgListeEtScheduler(texte); });
    };

    if (config_.URL.trimmed().isEmpty()) {
        if (!nonConfigureSignale_) {
            nonConfigureSignale_ = true;
            ligne(QStringLiteral("Plateforme non configurée"));
            reporter_.trace(QStringLiteral("Warning: ") + procedure +
                                QStringLiteral(": no platform URL in the settings, nothing sent"),
                            true);
        }
        return {};
    }

    const QString url = urlBase() + requete.path;
    const HttpAnswer reponse = requete.post ? transport_.post(url, requete.body) : transport_.get(url);
    if (!reponse.repondu()) {
        trap(reporter_, origine, [&] {
            Raise(kErreurTransport + reponse.curlCode, reponse.erreur + QStringLiteral(" (") + url + u')',
                  QStringLiteral("clHttpNVX"));
        });
    }

    const AnalyseResultat resultat = analyse_.UDPDataArrival_99_Analyse_Reponse(reponse.body, requete.kind);

    if (!reponse.repondu()) {
        ligne(QStringLiteral("Erreur de communication avec la plateforme: ") + reponse.erreur);
    } else if (!resultat.xml) {
        ligne(QStringLiteral("Erreur de communication avec la plateforme: réponse non XML (HTTP ") +
              QString::number(reponse.status) + u')');
        reporter_.trace(QStringLiteral("Warning: ") + procedure + QStringLiteral(": answer is not XML: ") +
                            QString::fromUtf8(reponse.body.left(200)),
                        true);
    }
    return resultat;
}

} // namespace nvx
