#pragma once

#include "PlatformState.h"
#include "SimConfig.h"

#include <QJsonObject>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace nvx::platformsim {

// The platform's HTTP (or https) front: serves the API under "/vlapi" from a PlatformState, applies the
// injected faults and the delay, writes one JSON line per request, and offers a read-only view of the state
// under "/sim" (GET /sim/state; GET /sim/imports/STATION/YYYY-MM-DD/HOUR gives an imported body).
class SimServer {
public:
    explicit SimServer(SimConfig config, PlatformState::Clock clock = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    static constexpr int kBindFailed = -1;
    static constexpr int kLogFailed = -2;
    static constexpr int kTlsFailed = -3; // the certificate or its key could not be loaded
    // Binds to the configured address and port and serves on a background thread. Returns the port
    // bound, or one of the failures above.
    int start();
    // Stops serving; connections in progress end once their current request is answered.
    void stop();

    // Replaces the injected faults while serving (an empty list lifts them all, the plain-text
    // and close patterns and the delay included).
    void setFaults(std::vector<FaultRule> faults);
    // The platform goes away: its port refuses every connection until it comes back on the same
    // port. Returns false when the port could not be taken again.
    bool setRefusing(bool refusing);

    PlatformState& state() { return state_; }

private:
    // How the answer leaves: whole, or cut or trickled through a content provider.
    enum class Delivery { Whole, Cut, Trickle };
    struct Reply {
        int status = 404;
        std::string content;
        std::string type = "text/plain; charset=UTF-8";
        Delivery delivery = Delivery::Whole;
        qint64 trickleMs = 0;
    };
    int listen(int port);
    // Closes the listening socket and ends the connections and the requests held by a fault.
    void stopListening();
    void serve(const httplib::Request& req, const std::string& body, httplib::Response& res);
    std::optional<FaultRule> decide(const std::string& method, const QString& path);
    void serveApi(const std::string& method, const std::string& path, const std::string& body, Reply& reply,
                  QJsonObject& entry);
    // Applies a fault that replaces the answer; false when the normal answer is still to be made.
    bool replaceAnswer(const FaultRule& fault, Reply& reply, QJsonObject& entry);
    void deliver(const Reply& reply, httplib::Response& res);
    // Sleeps up to ms, cut short when the server stops.
    void pause(qint64 ms) const;
    void writeLog(const QJsonObject& entry);

    SimConfig config_;
    PlatformState state_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    int boundPort_ = 0;

    std::atomic<bool> stopping_{false};
    std::mutex faultMutex_;
    std::mutex logMutex_;
    FILE* log_ = nullptr;
    bool ownsLog_ = false;
};

} // namespace nvx::platformsim
