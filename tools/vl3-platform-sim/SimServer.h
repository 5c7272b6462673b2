#pragma once

#include "PlatformState.h"
#include "SimConfig.h"

#include <QJsonObject>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace nvx::platformsim {

// The platform's HTTP front: serves the API under "/vlapi" from a PlatformState, applies the injected
// faults and the delay, writes one JSON line per request, and offers a read-only view of the state
// under "/sim" (GET /sim/state; GET /sim/imports/STATION/YYYY-MM-DD/HOUR gives an imported body).
class SimServer {
public:
    explicit SimServer(SimConfig config, PlatformState::Clock clock = {});
    ~SimServer();
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    static constexpr int kBindFailed = -1;
    static constexpr int kLogFailed = -2;
    // Binds to the configured address and port and serves on a background thread. Returns the port
    // bound, or one of the failures above.
    int start();
    // Stops serving; connections in progress end once their current request is answered.
    void stop();

    PlatformState& state() { return state_; }

private:
    class HttpServer;

    enum class Fault { None, Close, NonXml, Code };
    struct Decision {
        Fault fault = Fault::None;
        int code = 0;
    };
    void serve(const httplib::Request& req, const std::string& body, httplib::Response& res);
    Decision decide(const QString& path);
    void serveApi(const std::string& method, const std::string& path, const std::string& body, int& status,
                  std::string& content, std::string& type, QJsonObject& entry);
    void writeLog(const QJsonObject& entry);

    SimConfig config_;
    PlatformState state_;
    std::unique_ptr<HttpServer> http_;
    std::thread thread_;

    std::atomic<bool> stopping_{false};
    std::mutex faultMutex_;
    std::mutex logMutex_;
    FILE* log_ = nullptr;
    bool ownsLog_ = false;
};

} // namespace nvx::platformsim
