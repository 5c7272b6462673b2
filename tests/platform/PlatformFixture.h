#pragma once

#include "common/AppFlags.h"
#include "common/JobSteps.h"
#include "common/Reporter.h"
#include "common/Systeme.h"
#include "platform/PlatformClient.h"
#include "support/FakeClock.h"
#include "support/FakeHost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace nvx::test {

// Keeps every trace line and every reported error.
struct RecordingReporter final : Reporter {
    void TraceLog(qint16, qint16, qint16, const QString& texte, bool incident, qint16, bool) override
    {
        lines.append(texte);
        if (incident)
            incidents.append(texte);
    }
    void GestionDesErreurs(const QString& origine) override
    {
        errors.append(origine + QStringLiteral(" | ") + erreur.ErreurDescription);
    }
    bool traced(const QString& text) const
    {
        for (const QString& l : lines)
            if (l.contains(text))
                return true;
        return false;
    }
    QStringList lines, incidents, errors;
};

struct RecordingLines final : ProgressLines {
    void MsgListeEtScheduler(const QString& message) override
    {
        lines.append(message);
        if (onLine)
            onLine(message);
    }
    void resetTarget() override {}
    void setTarget(const QString&, qint32) override {}
    QStringList lines;
    std::function<void(const QString&)> onLine;
};

// One request as the platform received it.
struct Received {
    std::string method, path, body, userAgent, accept, contentType;
};

// A stand-in platform on 127.0.0.1 at a port chosen by the system, answering from a script.
class FakePlatform {
public:
    using Responder = std::function<std::string(const Received&)>;

    explicit FakePlatform(Responder responder = {}) : responder_(std::move(responder))
    {
        const auto handle = [this](const httplib::Request& req, httplib::Response& res) {
            Received r{req.method,
                       req.path,
                       req.body,
                       req.get_header_value("User-Agent"),
                       req.get_header_value("Accept"),
                       req.get_header_value("Content-Type")};
            Responder responder;
            {
                std::lock_guard lock(mutex_);
                received_.push_back(r);
                responder = responder_;
            }
            const std::string body =
                responder ? responder(r) : std::string("<response><code>200</code></response>");
            res.set_content(body, "text/xml");
        };
        // Answers leave at once instead of waiting for the client to acknowledge their headers.
        server_.set_tcp_nodelay(true);
        server_.Get(".*", handle);
        server_.Post(".*", handle);
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        QElapsedTimer t;
        t.start();
        while (!server_.is_running() && t.elapsed() < 5000)
            std::this_thread::yield();
    }
    ~FakePlatform() { stop(); }

    void stop()
    {
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }
    int port() const { return port_; }
    QString url() const { return QStringLiteral("http://127.0.0.1:") + QString::number(port_); }
    void respond(Responder responder)
    {
        std::lock_guard lock(mutex_);
        responder_ = std::move(responder);
    }
    std::vector<Received> received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> p;
        for (const Received& r : received())
            p.push_back(r.method + ' ' + r.path);
        return p;
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mutex_;
    std::vector<Received> received_;
    Responder responder_;
};

// A platform answer with a code and optional message and data content.
inline std::string answer(const std::string& code, const std::string& message = {},
                          const std::string& data = {})
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><vlapi><response><code>" + code + "</code>";
    if (!message.empty())
        xml += "<message>" + message + "</message>";
    if (!data.empty())
        xml += "<data>" + data + "</data>";
    return xml + "</response></vlapi>";
}

// The owners a platform test needs: a temporary XML folder and registry, a fake clock and host.
struct PlatformOwners {
    PlatformOwners() : systeme(reporter, clock, host, flags)
    {
        systeme.setRegistryFolder(dir.path() + QStringLiteral("/"));
        config.DossierXML = dir.path() + QStringLiteral("/xml");
        QDir().mkpath(config.DossierXML);
    }

    PlatformClient& client()
    {
        if (!client_)
            client_.emplace(config, reporter, clock, host, systeme, lignes);
        return *client_;
    }
    QStringList xmlFolder() const { return QDir(config.DossierXML).entryList(QDir::Files); }

    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2020, 2, 20), QTime(10, 0))};
    FakeHost host;
    AppFlags flags;
    RecordingReporter reporter;
    Systeme systeme;
    RecordingLines lignes;
    PlatformConfig config;
    std::optional<PlatformClient> client_;
};

} // namespace nvx::test
