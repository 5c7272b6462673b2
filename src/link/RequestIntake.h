#pragma once

#include "link/SenderFilter.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>
#include <functional>

namespace nvx {

class Reporter;
class Clock;
class Host;
class Settings;
class UdpSocket;
class Lifecycle;

// The receiving side of the scheduler link: ten UDP endpoints bound from the settings, the
// queue of received requests and the timer that runs them one at a time, in arrival order.
// Whatever arrives is bounded: datagrams from senders an endpoint does not allow and datagrams
// that are not requests are dropped with a few trace lines, and the queue holds at most
// kMaxQueue requests, so a flood on the port can neither fill the memory nor the trace log.
class RequestIntake : public QObject {
    Q_OBJECT

public:
    static constexpr int kSockets = 10;
    static constexpr int kTimerMs = 100;
    static constexpr int kMaxQueue = 1000;

    RequestIntake(Reporter& reporter, Clock& clock, Host& host, Settings& settings, Lifecycle& lifecycle);
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
    // One datagram read from an endpoint: queued when it is a request from an allowed sender.
    void take(int index, const QString& data, const QString& sender);
    bool senderAllowed(int index, const QString& sender);
    // Whether a line about key may be written now; counts the ones held back meanwhile.
    bool lineDue(const QString& key, qint64 periodMs, int& heldBack);

    Reporter& reporter_;
    Clock& clock_;
    Host& host_;
    Settings& settings_;
    Lifecycle& lifecycle_;
    std::array<UdpSocket*, kSockets> SocketWrenchUDPIn{};
    bool draining_ = false;
    // What each endpoint was last opened for ("address:port"), empty when closed.
    std::array<QString, kSockets> lie_;
    // Each endpoint's allowed senders, with the settings text they were made from.
    std::array<SenderFilter, kSockets> filters_;
    std::array<QString, kSockets> filterSources_;
    struct Throttle {
        qint64 lastMs = 0;
        int heldBack = 0;
    };
    QHash<QString, Throttle> throttles_;
};

} // namespace nvx
