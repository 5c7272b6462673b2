#include "SimServer.h"

#include <QJsonDocument>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <type_traits>
#include <unistd.h>

namespace nvx::platformsim {

namespace {

// Set by a request handler that wants its connection closed without any answer; the connection
// stream then refuses every write and the connection loop closes the socket.
thread_local bool t_dropConnection = false;
// The connection the current request came on.
thread_local int t_socket = -1;

// The client has closed its side (it gave up waiting).
bool clientGone()
{
    pollfd p{t_socket, POLLIN | POLLRDHUP, 0};
    if (t_socket < 0 || ::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLRDHUP | POLLHUP | POLLERR))
        return true;
    char byte;
    return ::recv(t_socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

constexpr const char* kXmlType = "application/xml; charset=UTF-8";

int toMs(time_t sec, time_t usec)
{
    return int(sec * 1000 + usec / 1000);
}

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    int n;
    do {
        n = ::poll(&p, 1, timeoutMs);
    } while (n < 0 && errno == EINTR);
    return n > 0;
}

void addressOf(int fd, bool peer, std::string& ip, int& port)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    const int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len)
                        : ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    if (rc != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        port = ntohs(a->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        port = ntohs(a->sin6_port);
    }
    ip = text;
}

// A buffered stream over one accepted connection, in clear or over TLS. The library keeps its own
// socket streams to itself, and closing a connection without writing a byte needs a stream that can
// refuse to write.
class ConnectionStream final : public httplib::Stream {
public:
    ConnectionStream(int fd, SSL* ssl, int readTimeoutMs, int writeTimeoutMs)
        : fd_(fd), ssl_(ssl), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs)
    {
    }

    // Bytes already received and not yet read, here or decrypted in the TLS layer.
    bool hasBuffered() const { return begin_ < end_ || (ssl_ && SSL_pending(ssl_) > 0); }

    bool is_readable() const override { return hasBuffered() || waitFor(fd_, POLLIN, readTimeoutMs_); }
    bool is_writable() const override { return !t_dropConnection && waitFor(fd_, POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (begin_ == end_) {
            if (!hasBuffered() && !waitFor(fd_, POLLIN, readTimeoutMs_))
                return -1;
            const ssize_t n = receive();
            if (n <= 0)
                return n;
            begin_ = 0;
            end_ = size_t(n);
        }
        const size_t n = std::min(size, end_ - begin_);
        std::memcpy(ptr, buffer_ + begin_, n);
        begin_ += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        if (ssl_) {
            const int n = SSL_write(ssl_, ptr, int(std::min<size_t>(size, INT_MAX)));
            return n > 0 ? n : -1;
        }
        ssize_t n;
        do {
            n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(fd_, true, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(fd_, false, ip, port); }
    socket_t socket() const override { return fd_; }

private:
    ssize_t receive()
    {
        if (ssl_) {
            const int n = SSL_read(ssl_, buffer_, int(sizeof buffer_));
            if (n > 0)
                return n;
            return SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
        ssize_t n;
        do {
            n = ::recv(fd_, buffer_, sizeof buffer_, 0);
        } while (n < 0 && errno == EINTR);
        return n;
    }

    int fd_;
    SSL* ssl_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    char buffer_[4096];
    size_t begin_ = 0;
    size_t end_ = 0;
};

QString timestamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

} // namespace

namespace {

// The TLS side of an accepted connection, set up before the first request. The socket's own
// time-outs bound a client that connects and never completes the handshake or a record.
SSL* acceptTls(SSL_CTX* context, int sock, int timeoutMs)
{
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL* ssl = context ? SSL_new(context) : nullptr;
    if (ssl && SSL_set_fd(ssl, sock) == 1 && SSL_accept(ssl) == 1)
        return ssl;
    SSL_free(ssl);
    return nullptr;
}

// The library's server (in clear or over TLS) with its connection loop replaced by one over
// ConnectionStream (keep-alive as the library does it: a bounded number of requests, an idle
// time-out, and an early end when the server stops).
template <class Base> class Connections final : public Base {
public:
    using Base::Base;

private:
    bool process_and_close_socket(socket_t sock) override
    {
        // An answer goes out in several writes; without this each exchange would wait for the
        // client's delayed acknowledgement.
        const int one = 1;
        ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        t_socket = sock;
        const int readMs = toMs(this->read_timeout_sec_, this->read_timeout_usec_);
        SSL* ssl = nullptr;
        if constexpr (std::is_base_of_v<httplib::SSLServer, Base>) {
            ssl = acceptTls(this->ssl_context(), sock, readMs);
            if (!ssl) {
                ::close(sock);
                return false;
            }
        }
        ConnectionStream stream(sock, ssl, readMs, toMs(this->write_timeout_sec_, this->write_timeout_usec_));
        bool ok = false;
        for (size_t left = this->keep_alive_max_count_; left > 0; --left) {
            if (!waitForRequest(stream, sock))
                break;
            t_dropConnection = false;
            bool closed = false;
            ok = this->process_request(stream, left == 1, closed, [](httplib::Request&) {});
            if (!ok || closed || t_dropConnection)
                break;
        }
        t_dropConnection = false;
        if (ssl) {
            SSL_shutdown(ssl);
            SSL_free(ssl);
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    bool waitForRequest(const ConnectionStream& stream, int sock) const
    {
        if (stream.hasBuffered())
            return true;
        constexpr int kSliceMs = 50;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::seconds(this->keep_alive_timeout_sec_);
        while (this->svr_sock_ != INVALID_SOCKET) {
            if (waitFor(sock, POLLIN, kSliceMs))
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
        }
        return false;
    }
};

} // namespace

SimServer::SimServer(SimConfig config, PlatformState::Clock clock)
    : config_(std::move(config)), state_(config_.credentials, config_.tokenLifetimeSeconds, std::move(clock))
{
    for (const PresetState& p : config_.states)
        state_.presetState(p);
}

SimServer::~SimServer()
{
    stop();
}

int SimServer::start()
{
    if (http_)
        return kBindFailed;
    stopping_ = false;
    if (config_.logFile.isEmpty()) {
        log_ = stdout;
    } else {
        log_ = std::fopen(config_.logFile.toLocal8Bit().constData(), "a");
        if (!log_)
            return kLogFailed;
        ownsLog_ = true;
    }
    const int port = listen(config_.port);
    if (port > 0)
        boundPort_ = port;
    return port;
}

int SimServer::listen(int wanted)
{
    if (config_.secure()) {
        const std::string cert = config_.tlsCert.toLocal8Bit().toStdString();
        const std::string key = config_.tlsKey.toLocal8Bit().toStdString();
        http_ = std::make_unique<Connections<httplib::SSLServer>>(cert.c_str(), key.c_str());
        if (!http_->is_valid()) {
            http_.reset();
            return kTlsFailed;
        }
    } else {
        http_ = std::make_unique<Connections<httplib::Server>>();
    }
    const auto withoutBody = [this](const httplib::Request& req, httplib::Response& res) {
        serve(req, req.body, res);
    };
    // Bodies are read raw: the library would otherwise cut a form-encoded body at 8 KiB, and a
    // client that leaves its HTTP library's default content type must still get the platform's answer.
    const auto withBody = [this](const httplib::Request& req, httplib::Response& res,
                                 const httplib::ContentReader& reader) {
        std::string body;
        reader([&body](const char* data, size_t size) {
            body.append(data, size);
            return true;
        });
        serve(req, body, res);
    };
    http_->Get(".*", withoutBody);
    http_->Options(".*", withoutBody);
    http_->Post(".*", withBody);
    http_->Put(".*", withBody);
    http_->Delete(".*", withBody);
    http_->Patch(".*", withBody);

    const std::string host = config_.bind.toStdString();
    int port = wanted;
    if (port == 0)
        port = http_->bind_to_any_port(host);
    else if (!http_->bind_to_port(host, port))
        port = -1;
    if (port <= 0) {
        http_.reset();
        return kBindFailed;
    }
    thread_ = std::thread([this] {
        // The connection threads start from this one and keep its mask: a TLS write to a client
        // that has gone must fail rather than end the process with SIGPIPE.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        http_->listen_after_bind();
    });
    // The library ignores a stop that comes before its accept loop runs, so wait for the loop.
    for (int i = 0; i < 5000 && !http_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return port;
}

bool SimServer::setRefusing(bool refusing)
{
    if (refusing) {
        stopListening();
        stopping_ = false;
        return true;
    }
    if (http_)
        return true;
    return boundPort_ > 0 && listen(boundPort_) == boundPort_;
}

void SimServer::setFaults(std::vector<FaultRule> faults)
{
    std::lock_guard lock(faultMutex_);
    config_.faults = std::move(faults);
    if (config_.faults.empty()) {
        config_.nonXml.clear();
        config_.close.clear();
        config_.delayMs = 0;
    }
}

void SimServer::stopListening()
{
    // Requests held by a fault end now, or the listener could not be joined.
    stopping_ = true;
    if (!http_)
        return;
    http_->stop();
    if (thread_.joinable())
        thread_.join();
    http_.reset();
}

void SimServer::stop()
{
    stopListening();
    std::lock_guard lock(logMutex_);
    if (ownsLog_ && log_)
        std::fclose(log_);
    log_ = nullptr;
    ownsLog_ = false;
}

void SimServer::serve(const httplib::Request& req, const std::string& body, httplib::Response& res)
{
    const std::string& path = req.path;
    QJsonObject entry{{QStringLiteral("time"), timestamp()},
                      {QStringLiteral("method"), QString::fromStdString(req.method)},
                      {QStringLiteral("path"), QString::fromStdString(path)},
                      {QStringLiteral("bodyLength"), qint64(body.size())}};
    Reply reply;
    if (path == "/vlapi" || path.starts_with("/vlapi/")) {
        serveApi(req.method, path, body, reply, entry);
    } else if (path == "/sim/state" && req.method == "GET") {
        reply.status = 200;
        reply.content = QJsonDocument(state_.snapshot()).toJson(QJsonDocument::Indented).toStdString();
        reply.type = "application/json";
    } else if (path.starts_with("/sim/imports/") && req.method == "GET") {
        const QStringList p = QString::fromStdString(path.substr(13)).split(QLatin1Char('/'));
        const auto station = p.size() == 3 ? parseDecimal(p[0], 0, kMaxStation) : std::nullopt;
        const auto date = p.size() == 3 ? parseIsoDate(p[1]) : std::nullopt;
        const auto hour = p.size() == 3 ? parseDecimal(p[2], 0, 23) : std::nullopt;
        const auto imported =
            station && date && hour ? state_.importedBody({*station, *date, *hour}) : std::nullopt;
        if (imported) {
            reply.status = 200;
            reply.content = *imported;
            reply.type = kXmlType;
        } else {
            reply.content = "no such import\n";
        }
    } else {
        reply.content = "not found\n";
    }
    if (!t_dropConnection)
        deliver(reply, res);
    if (!entry.contains(QStringLiteral("code")))
        entry.insert(QStringLiteral("code"), reply.status);
    writeLog(entry);
}

void SimServer::deliver(const Reply& reply, httplib::Response& res)
{
    res.status = reply.status;
    if (reply.delivery == Delivery::Whole) {
        res.set_content(reply.content, reply.type.c_str());
        return;
    }
    // The status line and headers promise the whole body; the provider then sends half of it and
    // gives up, or sends it one byte at a time.
    const auto content = std::make_shared<std::string>(reply.content);
    const bool cut = reply.delivery == Delivery::Cut;
    const qint64 stepMs = reply.trickleMs;
    res.set_content_provider(content->size(), reply.type.c_str(),
                             [this, content, cut, stepMs](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (cut)
                                     return offset == 0 && sink.write(content->data(), content->size() / 2) &&
                                            false;
                                 if (stopping_ || !sink.write(content->data() + offset, 1))
                                     return false;
                                 pause(stepMs);
                                 return true;
                             });
}

std::optional<FaultRule> SimServer::decide(const std::string& method, const QString& path)
{
    std::lock_guard lock(faultMutex_);
    for (const QRegularExpression& re : config_.close)
        if (re.match(path).hasMatch())
            return FaultRule::make(re, FaultKind::Close);
    for (const QRegularExpression& re : config_.nonXml)
        if (re.match(path).hasMatch())
            return FaultRule::make(re, FaultKind::NonXml);
    for (FaultRule& rule : config_.faults)
        if (rule.remaining != 0 && rule.path.match(path).hasMatch() &&
            (rule.method.isEmpty() || rule.method.toStdString() == method)) {
            if (rule.remaining > 0)
                --rule.remaining;
            return rule;
        }
    return std::nullopt;
}

void SimServer::pause(qint64 ms) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end && !stopping_)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(ms, 10)));
}

bool SimServer::replaceAnswer(const FaultRule& fault, Reply& reply, QJsonObject& entry)
{
    switch (fault.kind) {
    case FaultKind::Close:
        t_dropConnection = true;
        entry.insert(QStringLiteral("fault"), QStringLiteral("close"));
        entry.insert(QStringLiteral("code"), QJsonValue());
        return true;
    case FaultKind::Hang:
        // Held until the client gives up or the server stops.
        for (int waited = 0; waited < 600'000 && !stopping_ && !clientGone(); waited += 10)
            pause(10);
        t_dropConnection = true;
        entry.insert(QStringLiteral("fault"), QStringLiteral("hang"));
        entry.insert(QStringLiteral("code"), QJsonValue());
        return true;
    case FaultKind::NonXml:
        reply.status = 200;
        reply.content = "Service temporarily unavailable, please retry later.\n";
        entry.insert(QStringLiteral("fault"), QStringLiteral("non-xml"));
        return true;
    case FaultKind::Code: {
        Answer a;
        a.code = fault.code;
        a.message = QStringLiteral("Erreur simulée ") + QString::number(fault.code);
        reply.status = a.code == 204 ? 200 : a.code;
        reply.content = renderAnswer(a);
        reply.type = kXmlType;
        entry.insert(QStringLiteral("fault"), QStringLiteral("code"));
        entry.insert(QStringLiteral("code"), a.code);
        return true;
    }
    case FaultKind::Late:
        pause(fault.param);
        entry.insert(QStringLiteral("fault"), QStringLiteral("late"));
        return false;
    case FaultKind::Cut:
    case FaultKind::Big:
    case FaultKind::Trickle:
        return false;
    }
    return false;
}

void SimServer::serveApi(const std::string& method, const std::string& path, const std::string& body,
                         Reply& reply, QJsonObject& entry)
{
    // The delay is cut short when the server stops, so that stopping never waits for it.
    int delayMs = 0;
    {
        std::lock_guard lock(faultMutex_);
        delayMs = config_.delayMs;
    }
    pause(delayMs);

    const std::optional<FaultRule> fault = decide(method, QString::fromStdString(path));
    if (fault && replaceAnswer(*fault, reply, entry))
        return;

    const Answer a = state_.handle(method, path.substr(6), body);
    // The answer's own code is the outcome; the status line mirrors it, except that a 204 status
    // could carry no body.
    reply.status = a.code == 204 ? 200 : a.code;
    reply.content = renderAnswer(a);
    reply.type = kXmlType;
    entry.insert(QStringLiteral("code"), a.code);
    if (a.imported) {
        entry.insert(QStringLiteral("station"), a.imported->station);
        entry.insert(QStringLiteral("date"), a.imported->date.toString(Qt::ISODate));
        entry.insert(QStringLiteral("hour"), a.imported->hour);
        entry.insert(QStringLiteral("items"), a.importedItems);
    }
    if (!fault)
        return;
    if (fault->kind == FaultKind::Big) {
        // An element the client does not look at, filling the answer up to the size asked.
        const size_t at = reply.content.rfind("</response>");
        const qint64 missing = fault->param - qint64(reply.content.size()) - 19;
        if (at != std::string::npos && missing > 0)
            reply.content.insert(at, "<padding>" + std::string(size_t(missing), 'x') + "</padding>");
        entry.insert(QStringLiteral("fault"), QStringLiteral("big"));
    } else if (fault->kind == FaultKind::Cut) {
        reply.delivery = Delivery::Cut;
        entry.insert(QStringLiteral("fault"), QStringLiteral("cut"));
    } else if (fault->kind == FaultKind::Trickle) {
        reply.delivery = Delivery::Trickle;
        reply.trickleMs = fault->param;
        entry.insert(QStringLiteral("fault"), QStringLiteral("trickle"));
    }
}

void SimServer::writeLog(const QJsonObject& entry)
{
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard lock(logMutex_);
    if (!log_)
        return;
    std::fwrite(line.constData(), 1, size_t(line.size()), log_);
    std::fflush(log_);
}

} // namespace nvx::platformsim
