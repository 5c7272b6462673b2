#include "link/Replies.h"

#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "config/Settings.h"
#include "link/UdpSocket.h"

namespace nvx {

namespace {

QString erreurSocket(const UdpSocket& s)
{
    return QString::number(s.lastError()) + QStringLiteral(": ") + s.lastErrorText();
}

bool commenceParChiffre(const QString& s)
{
    return !s.isEmpty() && s[0].isDigit();
}

} // namespace

Replies::Replies(Reporter& reporter, Clock& clock, Host& host, Settings& settings)
    : reporter_(reporter), clock_(clock), host_(host), settings_(settings)
{
    for (int i = 0; i < kSockets; ++i) {
        auto* s = new UdpSocket(this);
        SocketWrenchUDPOut[size_t(i)] = s;
        // The socket's events are only traced, one line each.
        const auto event = [this, i](const char16_t* name) {
            return [this, i, name] {
                reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPOut_") + QString::fromUtf16(name) +
                                QStringLiteral(": Index: ") + QString::number(i));
            };
        };
        connect(s, &UdpSocket::OnConnect, this, event(u"OnConnect"));
        connect(s, &UdpSocket::OnWrite, this, event(u"OnWrite"));
        connect(s, &UdpSocket::OnDisconnect, this, event(u"OnDisconnect"));
        connect(s, &UdpSocket::OnError, this, [this, i](int code, const QString& description) {
            reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPOut_OnError: Index: ") +
                            QString::number(i) + QStringLiteral(" ErrorCode: ") + QString::number(code) +
                            QStringLiteral(" Description: ") + description);
        });
    }
}

Replies::~Replies() = default;

void Replies::resetTarget()
{
    PbBReponseScheduler = false;
    PbSReponseIP.clear();
    PbLReponsePort = 0;
}

void Replies::setTarget(const QString& address, qint32 port)
{
    if (address.trimmed().isEmpty()) {
        resetTarget();
        return;
    }
    PbBReponseScheduler = true;
    PbSReponseIP = address;
    PbLReponsePort = port;
}

void Replies::sendLine(const QString& ligne)
{
    if (PbBReponseScheduler)
        SendDataUDPSocketWrench(0, PbSReponseIP, PbLReponsePort, ligne);
}

void Replies::pumpUntil(qint64 startMs, int waitMs)
{
    // Absolute difference, so that a counter that jumps back cannot stall the wait.
    while (qAbs(clock_.ChronoMilliSec() - startMs) <= waitMs) {
        host_.pump();
        clock_.sleep(1);
    }
}

void Replies::SendDataUDPSocketWrench(int index, const QString& address, qint64 port, const QString& data)
{
    trap(reporter_, QStringLiteral("Frm_MainBis:SendDataUDPSocketWrench"), [&] {
        if (index < 0 || index >= kSockets || address.trimmed().isEmpty())
            return;
        UdpSocket& s = socket(index);
        QString adresse = address.trimmed();
        if (!commenceParChiffre(adresse)) {
            QString resolue;
            if (s.Resolve(adresse, resolue) != 0) {
                reporter_.trace(QStringLiteral("Warning: UDP: SocketWrenchUDPOut.Resolve: ") +
                                erreurSocket(s));
            } else {
                reporter_.trace(
                    QStringLiteral("UDP: SocketWrenchUDPOut.Resolve: HostName changed to HostAddress: ") +
                    adresse + QStringLiteral(" to ") + resolue);
                adresse = resolue;
            }
        }
        // The scheduler listens on its own machine: nothing to send to ourselves.
        if (adresse == u"127.0.0.1")
            return;
        if (s.handle() != -1) {
            if (s.Disconnect() != 0) {
                reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPOut.Disconnect: ") +
                                erreurSocket(s));
                return;
            }
            reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPOut.Disconnected"));
            host_.pump();
        }
        if (commenceParChiffre(adresse)) {
            s.remoteHostAddress = adresse;
            s.remoteHostName.clear();
        } else {
            s.remoteHostAddress.clear();
            s.remoteHostName = adresse;
        }
        s.remotePort = port;
        if (s.Connect(UdpSocket::kProtocolUdp) != 0) {
            reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPOut.Connect: ") + erreurSocket(s));
            return;
        }
        reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPOut.Connected to: ") + adresse + u':' +
                        QString::number(port));
        host_.pump();

        const QString texte = data.trimmed().left(UdpSocket::kMaxRead);
        if (s.Write(texte, int(texte.size())) == -1) {
            reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPOut.Write: ") + erreurSocket(s));
            host_.pump();
            return;
        }
        reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPOut.Write: Data Sent to: ") + adresse + u':' +
                        QString::number(port) + QStringLiteral(" |Data: ") + texte);
        dernierAddress[size_t(index)] = adresse;
        dernierPort[size_t(index)] = port;
        pumpUntil(clock_.ChronoMilliSec(), attenteApresEcriture);
        host_.pump();
    });
}

void Replies::SendMessageUDP(int index, const QString& text)
{
    trap(reporter_, QStringLiteral("FrmSetup:SendMessageUDP"), [&] {
        if (index < 0 || index >= Settings::kEmissions)
            return;
        const EmissionUdp& ligne = settings_.Emission[size_t(index)];
        const auto envoi = [&](const QString& portTexte) {
            const double port = vbVal(portTexte);
            if (port <= 0)
                return;
            const QString cible = ligne.IP + u':' + QString::number(qint64(port));
            reporter_.trace(QStringLiteral("UDP: NoAddress: ") + QString::number(index) +
                            QStringLiteral("| ") + cible + u' ' + text);
            SendDataUDPSocketWrench(0, ligne.IP, qint64(port), text);
            reporter_.trace(QStringLiteral("UDP: Send to: ") + cible + u' ' + text);
        };
        envoi(ligne.Port1);
        host_.pump();
        clock_.sleep(10);
        envoi(ligne.Port2);
    });
}

} // namespace nvx
