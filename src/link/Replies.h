#pragma once

#include <QObject>
#include <QString>

#include <array>

namespace nvx {

class Reporter;
class Clock;
class Host;
class Settings;
class UdpSocket;

// Progress lines of a job sent back to the scheduler, one datagram each, when the request named
// a reply address. Also the manual test sends of the settings window.
class Replies : public QObject {
    Q_OBJECT

public:
    static constexpr int kSockets = 10;
    // Wait after each datagram, which the scheduler needs between two lines.
    static constexpr int kWaitAfterWriteMs = 200;

    Replies(Reporter& reporter, Clock& clock, Host& host, Settings& settings);
    ~Replies() override;

    // Reply target of the current request.
    bool PbBReponseScheduler = false;
    QString PbSReponseIP;
    qint32 PbLReponsePort = 0;
    void resetTarget();
    // An empty address sends nothing.
    void setTarget(const QString& address, qint32 port);
    // Sends a stamped progress line to the current target, then leaves the scheduler the time
    // it needs before the next one.
    void sendLine(const QString& ligne);
    void SendDataUDPSocketWrench(int index, const QString& address, qint64 port, const QString& data);
    void SendMessageUDP(int index, const QString& text);
    // Last target written by each sending socket.
    std::array<QString, 12> dernierAddress;
    std::array<qint64, 12> dernierPort{};
    UdpSocket& socket(int index) { return *SocketWrenchUDPOut[size_t(index)]; }
    // The wait after each datagram; tests shorten it.
    int attenteApresEcriture = kWaitAfterWriteMs;

private:
    void pumpUntil(qint64 startMs, int waitMs);

    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Settings& settings_;
    std::array<UdpSocket*, kSockets> SocketWrenchUDPOut{};
};

} // namespace nvx
