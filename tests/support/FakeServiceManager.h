#pragma once

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace nvx::test {

// The service manager's side: a datagram socket named by NOTIFY_SOCKET, with a watchdog period.
class FakeServiceManager {
public:
    // forThisProcess: the watchdog is this process's; else a child's (no WATCHDOG_PID).
    explicit FakeServiceManager(int watchdogMs, bool forThisProcess = true)
    {
        path_ = dir_.filePath(QStringLiteral("notify")).toLocal8Bit();
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path_.constData(), sizeof a.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        qputenv("NOTIFY_SOCKET", path_);
        qputenv("WATCHDOG_USEC", QByteArray::number(qint64(watchdogMs) * 1000));
        if (forThisProcess)
            qputenv("WATCHDOG_PID", QByteArray::number(qint64(::getpid())));
    }
    ~FakeServiceManager()
    {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
        qunsetenv("WATCHDOG_PID");
        ::close(fd_);
    }
    bool bound() const { return bound_; }
    // Every message received so far.
    QList<QByteArray> received()
    {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;)
            messages_ << QByteArray(buffer, int(n));
        return messages_;
    }

private:
    QTemporaryDir dir_;
    QByteArray path_;
    int fd_ = -1;
    bool bound_ = false;
    QList<QByteArray> messages_;
};

} // namespace nvx::test
