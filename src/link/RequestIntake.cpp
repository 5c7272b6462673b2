#include "link/RequestIntake.h"

#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/Host.h"
#include "common/Identity.h"
#include "common/Lifecycle.h"
#include "common/Reporter.h"
#include "common/TextHelpers.h"
#include "config/Settings.h"
#include "link/UdpSocket.h"

namespace nvx {

namespace {

QString vrai(bool b)
{
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

QString erreurSocket(const UdpSocket& s)
{
    return QString::number(s.lastError()) + QStringLiteral(": ") + s.lastErrorText();
}

QString indexTexte(int index)
{
    return QStringLiteral(" (Index: ") + QString::number(index) + u')';
}

constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kHourMs = 60 * kMinuteMs;
// Enough of a datagram that is not a request to recognise it in the trace.
constexpr int kExtrait = 80;

// A request names at least one of the tags a job reads; anything else is not for this tool.
bool ressembleARequete(const QString& data)
{
    for (const char16_t* balise : {u"<NoStation:", u"<DateConducteur:", u"<ReponseIP:"}) {
        if (data.contains(QString::fromUtf16(balise), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString depuis(int retenues)
{
    return retenues > 0 ? QStringLiteral(" (") + QString::number(retenues) + QStringLiteral(" autres depuis)")
                        : QString();
}

} // namespace

RequestIntake::RequestIntake(Reporter& reporter, Clock& clock, Host& host, Settings& settings,
                             Lifecycle& lifecycle)
    : reporter_(reporter), clock_(clock), host_(host), settings_(settings), lifecycle_(lifecycle)
{
    TimerDataArrival.setInterval(kTimerMs);
    connect(&TimerDataArrival, &QTimer::timeout, this, &RequestIntake::TimerDataArrival_Timer);
    for (int i = 0; i < kSockets; ++i) {
        auto* s = new UdpSocket(this);
        SocketWrenchUDPIn[size_t(i)] = s;
        connect(s, &UdpSocket::OnRead, this, [this, i] { SocketWrenchUDPIn_OnRead(i); });
        connect(s, &UdpSocket::OnError, this,
                [this, i](int code, const QString& text) { SocketWrenchUDPIn_OnError(i, code, text); });
    }
    connect(&settings_, &Settings::receptionSwitched, this, [this](int index, bool) { rebind(index); });
    connect(&settings_, &Settings::groupsChanged, this, [this](Settings::Groups groupes) {
        if (groupes & Settings::Group::Network)
            followSettings();
    });
}

RequestIntake::~RequestIntake() = default;

void RequestIntake::disconnect(int index, bool reportTrue)
{
    UdpSocket& s = socket(index);
    if (s.handle() == -1)
        return;
    if (s.Disconnect() != 0)
        reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPIn.Disconnect: ") + erreurSocket(s) +
                        indexTexte(index));
    else if (reportTrue)
        reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPIn.Disconnect: True"));
    else
        reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPIn.Disconnected") + indexTexte(index));
}

bool RequestIntake::bind(int index)
{
    const ReceptionUdp& ligne = settings_.Reception[size_t(index)];
    QString adresse = ligne.IP.trimmed();
    const qint64 port = qint64(vbVal(ligne.Port));
    UdpSocket& s = socket(index);
    if (!adresse.isEmpty() && !adresse[0].isDigit()) {
        QString resolue;
        if (s.Resolve(adresse, resolue) != 0) {
            reporter_.trace(QStringLiteral("Warning: UDP: SocketWrenchUDPIn.Resolve: ") + erreurSocket(s));
        } else {
            reporter_.trace(
                QStringLiteral("UDP: SocketWrenchUDPIn.Resolve: HostName changed to HostAddress: ") +
                adresse + QStringLiteral(" to ") + resolue);
            adresse = resolue;
        }
    }
    s.setBlocking(false);
    reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPIn: Try to Bind: ") + adresse + u':' +
                    QString::number(port) + indexTexte(index));
    if (s.Bind(adresse, port, UdpSocket::kProtocolUdp) != 0) {
        const int code = s.lastError();
        const QString prefixe = code == 11001 ? QStringLiteral("Warning: UDP: SocketWrenchUDPIn.Bind: ")
                                              : QStringLiteral("Err: UDP: SocketWrenchUDPIn.Bind: ");
        reporter_.trace(prefixe + erreurSocket(s) + indexTexte(index), code != 11001);
        if (code == 10049)
            reporter_.trace(QStringLiteral("Warning: Adresse d'écoute non valide.") + indexTexte(index));
        return false;
    }
    reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPIn.Binded to: ") + adresse + u':' +
                    QString::number(port) + indexTexte(index));
    reporter_.trace(QStringLiteral("UDP: SocketWrenchUDPIn: Receive buffer: ") +
                    QString::number(s.receiveBufferGranted()) + QStringLiteral(" bytes") + indexTexte(index));
    return true;
}

QString RequestIntake::wantedAddress(int index) const
{
    const ReceptionUdp& ligne = settings_.Reception[size_t(index)];
    return ligne.Actif ? ligne.IP.trimmed() + u':' + ligne.Port.trimmed() : QString();
}

void RequestIntake::followSettings()
{
    for (int i = 0; i < kSockets; ++i)
        if (wantedAddress(i) != lie_[size_t(i)])
            rebind(i);
}

void RequestIntake::rebind(int index)
{
    if (index < 0 || index >= kSockets)
        return;
    lie_[size_t(index)] = wantedAddress(index);
    trap(reporter_, QStringLiteral("FrmSetup:CheckUDPInActif_Click"), [&] {
        if (settings_.Reception[size_t(index)].Actif) {
            if (settings_.Reception[size_t(index)].IP.trimmed().isEmpty()) {
                reporter_.trace(
                    QStringLiteral("Err: Unable to Check CheckUDPInActif due to IP source is empty"));
            } else {
                disconnect(index, false);
                bind(index);
            }
        } else {
            disconnect(index, false);
        }
    });
}

void RequestIntake::SocketWrenchUDPIn_OnError(int index, int code, const QString& description)
{
    reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnError: Index: ") + QString::number(index) +
                    QStringLiteral(" ErrorCode: ") + QString::number(code) +
                    QStringLiteral(" Description: ") + description);
}

void RequestIntake::SocketWrenchUDPIn_OnRead(int index)
{
    if (index < 0 || index >= kSockets)
        return;
    if (lifecycle_.PbBFermetureApplication()) {
        // Nothing is queued any more, but what waits is taken off the socket so that the
        // read event does not fire again and again until the socket closes.
        QString ignored;
        while (socket(index).handle() != -1 && socket(index).Read(ignored, UdpSocket::kMaxRead) > 0) {
        }
        return;
    }
    trap(reporter_, QStringLiteral("Frm_MainBis:SocketWrenchUDPIn_OnRead"), [&] {
        UdpSocket& s = socket(index);
        // Everything that waits is taken now: a burst must not wait for one event per datagram.
        while (s.handle() != -1) {
            QString data;
            const int n = s.Read(data, UdpSocket::kMaxRead);
            if (n == 0)
                return;
            if (n > 0) {
                take(index, data, s.remoteHostAddress);
                continue;
            }
            const int code = s.lastError();
            if (code == 10054) {
                reporter_.trace(
                    QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: There is no server running on the "
                                   "specified host address and/or port number |Remote: ") +
                    s.remoteHostAddress + u':' + QString::number(s.remotePort));
                reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: ") + erreurSocket(s));
                disconnect(index, true);
            } else if (code == 10035) {
                reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: The specified operation "
                                               "would block the current thread"));
                if (s.handle() != -1) {
                    disconnect(index, true);
                    if (envoiMail)
                        envoiMail(
                            settings_.TexteEmailsAdresses,
                            QStringLiteral("Re-Init SocketWrenchUDPIn due to swErrorOperationWouldBlock"),
                            QStringLiteral("SocketWrenchUDPIn"));
                    if (!settings_.Reception[size_t(index)].IP.trimmed().isEmpty())
                        bind(index);
                }
            } else {
                reporter_.trace(QStringLiteral("Err: UDP: SocketWrenchUDPIn_OnRead: ") + erreurSocket(s) +
                                QStringLiteral(" Frm_MainBis:SocketWrenchUDPIn_OnRead"));
            }
            return;
        }
    });
}

void RequestIntake::take(int index, const QString& data, const QString& sender)
{
    if (!senderAllowed(index, sender))
        return;
    int retenues = 0;
    if (!data.trimmed().isEmpty() && !ressembleARequete(data)) {
        if (lineDue(QStringLiteral("ignore|") + sender, kMinuteMs, retenues))
            reporter_.trace(QStringLiteral("Warning: UDP: Datagramme ignoré, ce n'est pas une requête: ") +
                            sender + indexTexte(index) + u' ' + data.left(kExtrait) + depuis(retenues));
        return;
    }
    reporter_.trace(QStringLiteral("UDP: Data arrival: ") + data);
    if (data.trimmed().isEmpty())
        return;
    if (ListeDataArrival.size() >= kMaxQueue) {
        // Already hours of work waiting: what comes now is refused in so many words.
        if (lineDue(QStringLiteral("pleine"), kMinuteMs, retenues))
            reporter_.trace(QStringLiteral("Err: UDP: File d'attente pleine (") + QString::number(kMaxQueue) +
                                QStringLiteral(" requêtes), requête ignorée: ") + data + depuis(retenues),
                            true);
        return;
    }
    ListeDataArrival.append(data);
    TimerDataArrival.start();
}

bool RequestIntake::senderAllowed(int index, const QString& sender)
{
    const size_t k = size_t(index);
    const QString& liste = settings_.Reception[k].Expediteurs;
    if (liste != filterSources_[k]) {
        filterSources_[k] = liste;
        filters_[k] = SenderFilter(liste);
        for (const QString& entree : filters_[k].invalidEntries())
            reporter_.trace(QStringLiteral("Warning: UDP: Expediteurs: entrée invalide ignorée: '") + entree +
                            u'\'' + indexTexte(index));
    }
    if (filters_[k].allows(sender))
        return true;
    int retenues = 0;
    if (lineDue(QStringLiteral("refus|") + sender + u'|' + QString::number(index), kHourMs, retenues))
        reporter_.trace(
            QStringLiteral("Warning: UDP: Expéditeur non autorisé, datagrammes ignorés pendant une "
                           "heure: ") +
            sender + indexTexte(index) + depuis(retenues));
    return false;
}

bool RequestIntake::lineDue(const QString& key, qint64 periodMs, int& heldBack)
{
    // Many senders (or forged ones) must not grow this without end.
    if (throttles_.size() > 1024 && !throttles_.contains(key))
        throttles_.clear();
    const qint64 now = clock_.ChronoMilliSec();
    auto it = throttles_.find(key);
    if (it != throttles_.end() && now - it->lastMs < periodMs) {
        ++it->heldBack;
        return false;
    }
    heldBack = it == throttles_.end() ? 0 : it->heldBack;
    throttles_[key] = {now, 0};
    return true;
}

void RequestIntake::TimerDataArrival_Timer()
{
    // A tick that comes through a pump of the running job must not start a second drain loop:
    // the running one takes the next request when the job returns. A job started by hand, and a
    // connect to the platform, hold the queue the same way.
    if (draining_ || lifecycle_.busy())
        return;
    trap(reporter_, QStringLiteral("Frm_MainBis:TimerDataArrival_Timer"), [&] {
        if (lifecycle_.PbBFermetureApplication()) {
            TimerDataArrival.stop();
            reporter_.trace(
                QStringLiteral("UDP: PbBFermetureApplication = True TimerDataArrival.Enabled : ") +
                vrai(TimerDataArrival.isActive()));
        } else if (lifecycle_.PbBInModeLoadingFrmMain()) {
            reporter_.trace(
                QStringLiteral("UDP: PbBInModeLoadingFrmMain = True TimerDataArrival.Enabled : ") +
                vrai(TimerDataArrival.isActive()));
            host_.pump();
            return;
        } else {
            draining_ = true;
            reporter_.trace(QStringLiteral("TimerDataArrival_Timer: Start"));
            do {
                if (ListeDataArrival.isEmpty() || lifecycle_.quitRequested())
                    break;
                const QString entree = ListeDataArrival.takeFirst();
                if (!entree.trimmed().isEmpty())
                    trap(reporter_, QStringLiteral("Frm_MainBis:TimerDataArrival_Timer"),
                         [&] { emit requestReady(entree); });
                host_.pump();
            } while (!lifecycle_.PbBFermetureApplication());
            reporter_.trace(QStringLiteral("TimerDataArrival_Timer: End"));
            draining_ = false;
        }
    });
    if (lifecycle_.quitRequested() || lifecycle_.PbBFermetureApplication())
        dropQueue();
    draining_ = false;
    if (ListeDataArrival.isEmpty())
        TimerDataArrival.stop();
    else if (!TimerDataArrival.isActive())
        TimerDataArrival.start();
    reporter_.trace(QStringLiteral("UDP: TimerDataArrival.Enabled : ") + vrai(TimerDataArrival.isActive()));
}

void RequestIntake::dropQueue()
{
    // The program is closing: what waits is not run, but the trace keeps every request.
    for (const QString& entree : std::as_const(ListeDataArrival))
        reporter_.trace(QStringLiteral("Warning: the program is closing, request not run: ") + entree, true);
    ListeDataArrival.clear();
}

QString RequestIntake::sampleRequest(const QString& computerName)
{
    return QStringLiteral("<ComputerName:") + computerName +
           QStringLiteral("><SchedulerVersion:2020.0409.1204><DateConducteur:20200508><HHDeb:00><HHFin:11>"
                          "<NoStation:1><StationLib:Station 1><UserId:1><UserLib:Operateur>"
                          "<BuilddDate:06/05/2020 14:48:57><ReponseIP:") +
           computerName + QStringLiteral("><ReponsePort:112>");
}

} // namespace nvx
