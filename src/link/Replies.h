#pragma once

#include "common/JobSteps.h"

#include <QObject>
#include <QString>

#include <array>

namespace nvx {

class Reporter;
class Clock;
class Host;
class Settings;
class UdpSocket;
struct AppFlags;

// Progress lines of a job: shown in the main window and, when the request named a reply
// address, sent back to the scheduler as one datagram each. Also the manual test sends of
// the settings window.
class Replies : public QObject, public ProgressLines {
    Q_OBJECT

public:
    static constexpr int kSockets = 10;
    // Wait after each datagram, which the scheduler needs between two lines.
    static constexpr int kWaitAfterWriteMs = 200;

    Replies(AppFlags& flags, Reporter& reporter, Clock& clock, Host& host, Settings& settings);
    ~Replies() override;

    // Reply target of the current request.
    bool PbBReponseScheduler = false;
    QString PbSReponseIP;
    qint32 PbLReponsePort = 0;
    void resetTarget() override;
    void setTarget(const QString& address, qint32 port) override;

    void MsgListeEtScheduler(const QString& message) override;
    void SendDataUDPSocketWrench(int index, const QString& address, qint64 port, const QString& data);
    void SendMessageUDP(int index, const QString& text);
    void BtnUDPSend_Click(int index);
    void CheckUDPOutActif_Click(int index);

    // Text to send of each row of the settings window.
    std::array<QString, kSockets> TexteUDPDonneeEnvoyees;
    // Last target written by each sending socket.
    std::array<QString, 12> dernierAddress;
    std::array<qint64, 12> dernierPort{};
    UdpSocket& socket(int index) { return *SocketWrenchUDPOut[size_t(index)]; }
    // The wait after each datagram; tests shorten it.
    int attenteApresEcriture = kWaitAfterWriteMs;

private:
    void pumpUntil(qint64 startMs, int waitMs);

    AppFlags& flags_;
    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Settings& settings_;
    std::array<UdpSocket*, kSockets> SocketWrenchUDPOut{};
};

} // namespace nvx
