#include "platform/PlatformClient.h"

#include "common/ErrorTrap.h"
#include "common/Lifecycle.h"
#include "common/NativePath.h"
#include "common/Reporter.h"
#include "platform/TokenStore.h"

#include <algorithm>
#include <utility>

namespace nvx {

namespace {

// Transport failures are numbered like the errors of an HTTP component: this base plus the
// client's own failure number.
constexpr qint32 kErreurTransport = qint32(0x80040000u) + 12000;

const QString kCommunication = QStringLiteral("Erreur de communication avec la plateforme: ");

// What the scheduler's operator reads of a transport failure; the HTTP library's own text and
// code go to the trace only, except for TLS, where that text says what to fix (an unknown
// authority, a name the certificate does not carry, a bundle that cannot be read).
QString failureText(const HttpAnswer& a)
{
    using Failure = HttpAnswer::Failure;
    switch (a.failure) {
    case Failure::ConnectTimeout:
        return QStringLiteral("délai de connexion dépassé");
    case Failure::ResponseTimeout:
        return QStringLiteral("délai de réponse dépassé");
    case Failure::Refused:
        return QStringLiteral("connexion refusée");
    case Failure::NotFound:
        return QStringLiteral("serveur introuvable");
    case Failure::Interrupted:
        return QStringLiteral("connexion interrompue");
    case Failure::Empty:
        return QStringLiteral("réponse vide");
    case Failure::Tls:
        return a.erreur.isEmpty() ? QStringLiteral("erreur TLS") : QStringLiteral("erreur TLS: ") + a.erreur;
    case Failure::TooLarge:
        return QStringLiteral("réponse trop volumineuse");
    case Failure::Abandoned:
        return QStringLiteral("fermeture du programme demandée");
    case Failure::None:
    case Failure::Other:
        break;
    }
    return QStringLiteral("erreur ") + QString::number(a.curlCode);
}

// An answer of nothing but white space, found without copying it.
bool blanc(const QByteArray& body)
{
    return std::all_of(body.cbegin(), body.cend(),
                       [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

} // namespace

PlatformClient::PlatformClient(const PlatformConfig& config, Reporter& reporter, Clock& clock, Host& host,
                               Systeme& systeme, const Lifecycle& lifecycle)
    : reporter_(reporter), clock_(clock), host_(host), systeme_(systeme), lifecycle_(lifecycle),
      analyse_(reporter, clock, v_), transport_(host)
{
    // A confirmed quit ends the exchange in progress instead of waiting for its time-outs; the
    // job then keeps the files it could not send.
    transport_.abandon = [this] { return lifecycle_.quitRequested(); };
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
    analyse_.setConserverReponses(config.ConserverReponses);
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

PlatformStep PlatformClient::etape(bool ok)
{
    return {ok, std::exchange(lignes_, {})};
}

void PlatformClient::beginJob()
{
    nonConfigureSignale_ = false;
    unreachable_ = false;
}

AnalyseResultat PlatformClient::echanger(const QString& procedure, const PlatformRequest& requete)
{
    // Said once already in this job; the files stay for a later one.
    if (unreachable_)
        return {};
    const QString origine = QStringLiteral("Frm_MainBis:") + procedure;
    const auto ligne = [&](const QString& texte) { lignes_.append(texte); };

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
    // Matched to what is on disk at each exchange: a bundle put in place or renamed while the
    // program runs is found without a restart.
    const QString bundle = config_.CertificatsCA.trimmed();
    transport_.setCaFile(bundle.isEmpty() ? QString() : NativePath(bundle));
    const HttpAnswer reponse = requete.post ? transport_.post(url, requete.body) : transport_.get(url);
    unreachable_ = reponse.unreachable();
    if (!reponse.repondu()) {
        trap(reporter_, origine, [&] {
            Raise(kErreurTransport + reponse.curlCode, reponse.erreur + QStringLiteral(" (") + url + u')',
                  QStringLiteral("clHttpNVX"));
        });
    }

    const AnalyseResultat resultat = analyse_.UDPDataArrival_99_Analyse_Reponse(reponse.body, requete.kind);
    lignes_.append(resultat.lines);

    if (!reponse.repondu()) {
        ligne(kCommunication + failureText(reponse));
    } else if (blanc(reponse.body)) {
        ligne(kCommunication + QStringLiteral("réponse vide"));
    } else if (!resultat.xml) {
        ligne(kCommunication + QStringLiteral("réponse non XML (HTTP ") + QString::number(reponse.status) +
              u')');
        reporter_.trace(QStringLiteral("Warning: ") + procedure + QStringLiteral(": answer is not XML: ") +
                            QString::fromUtf8(reponse.body.left(200)),
                        true);
    }
    return resultat;
}

} // namespace nvx
