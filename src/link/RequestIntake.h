#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

namespace nvx {

class Reporter;
class Host;
class Settings;
class UdpSocket;
class Lifecycle;

// The receiving side of the scheduler link: ten UDP endpoints bound from the settings, the
// queue of received requests and the timer that runs them one at a time, in arrival order.
class RequestIntake : public QObject {
    Q_OBJECT

public:
    static constexpr int kSockets = 10;
    static constexpr int kTimerMs = 100;

    RequestIntake(Reporter& reporter, Host& host, Settings& settings, Lifecycle& lifecycle);
    ~RequestIntake() override;

    // Opens the endpoint as its settings row says (closing it first), or closes it.
    void rebind(int index);
    void SocketWrenchUDPIn_OnRead(int index);
    void SocketWrenchUDPIn_OnError(int index, int code, const QString& description);
    void TimerDataArrival_Timer();
    // The fixed request of the "Test" command.
    static QString sampleRequest(const QString& computerName);

    // Received requests, oldest first.
    QStringList ListeDataArrival;
    QTimer TimerDataArrival;
    UdpSocket& socket(int index) { return *SocketWrenchUDPIn[size_t(index)]; }
    // True while the drain loop runs a request.
    bool occupe() const { return draining_; }

    // Mail sent by the would-block recovery: recipients, message, source.
    std::function<void(const QString&, const QString&, const QString&)> envoiMail;

signals:
    // A request taken from the queue, in arrival order; whoever runs it does so before this
    // returns, so requests never overlap.
    void requestReady(const QString& texte);

private:
    bool bind(int index);
    // Rebinds every endpoint whose row no longer says what it is bound to.
    void followSettings();
    // "address:port" of the row when switched on, empty when off.
    QString wantedAddress(int index) const;
    void disconnect(int index, bool reportTrue);
    // Traces and drops the requests still waiting once the program is closing.
    void dropQueue();

    Reporter& reporter_;
    Host& host_;
    Settings& settings_;
    Lifecycle& lifecycle_;
    std::array<UdpSocket*, kSockets> SocketWrenchUDPIn{};
    bool draining_ = false;
    // What each endpoint was last opened for ("address:port"), empty when closed.
    std::array<QString, kSockets> lie_;
};

} // namespace nvx
