#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

namespace nvx {

// A UDP socket with the operations the scheduler link relies on. Every method returns 0 on
// success, or -1 with lastError() in Windows Sockets numbering (10035 would block, 10054
// connection reset, 10049 address not available, 10048 address in use, 11001 host not
// found, ...). Datagrams are text in Windows-1252, as the scheduler sends them.
class UdpSocket : public QObject {
    Q_OBJECT

public:
    static constexpr int kProtocolUdp = 17;
    static constexpr int kMaxRead = 1024;
    // Receive buffer asked for, so that a burst of requests is not dropped by the system.
    static constexpr int kReceiveBuffer = 1 << 20;

    explicit UdpSocket(QObject* parent = nullptr);
    ~UdpSocket() override;

    // -1 when no socket is open.
    int handle() const { return fd_; }
    void setBlocking(bool blocking) { blocking_ = blocking; }
    bool blocking() const { return blocking_; }
    QString remoteHostAddress;
    QString remoteHostName;
    qint64 remotePort = 0;
    int lastError() const { return lastError_; }
    QString lastErrorText() const { return lastErrorText_; }
    // Receive buffer size the system granted at the last bind (bytes), 0 before.
    int receiveBufferGranted() const { return receiveBuffer_; }
    // Local port after a bind (useful when bound to port 0).
    quint16 localPort() const;

    // Reads one datagram (at most maxLength characters); the count read, 0 when nothing
    // waits, -1 on error. The peer of a datagram or a failed read is left in
    // remoteHostAddress / remotePort.
    int Read(QString& buffer, int maxLength = kMaxRead);
    // The next read fails with this code, as the system gives it only in rare conditions (a
    // reset reported on a receiving socket, a read that would block): how the link recovers
    // from them is tested through this.
    void failNextRead(int code) { nextReadFailure_ = code; }
    // Sends text to the connected peer; -1 on error.
    int Write(const QString& data, int length);
    int Bind(const QString& address, qint64 port, int protocol = kProtocolUdp);
    // Connects to remoteHostAddress (or remoteHostName) : remotePort.
    int Connect(int protocol = kProtocolUdp);
    int Disconnect();
    int Resolve(const QString& hostName, QString& address);

signals:
    void OnRead();
    void OnError(int code, const QString& description);
    // A connect, a write or a disconnect went through.
    void OnConnect();
    void OnWrite();
    void OnDisconnect();

private:
    int fail(int code, const QString& text = {});
    int failErrno(int err);
    bool open();

    int fd_ = -1;
    bool blocking_ = true;
    int lastError_ = 0;
    int nextReadFailure_ = 0;
    QString lastErrorText_;
    int receiveBuffer_ = 0;
    QSocketNotifier* notifier_ = nullptr;
};

// Name of a socket error code ("AddWouldBlock", "ConnectionReset", ...), empty when unknown.
QString LibSockectErr(int code);
// Windows Sockets number of a system error (errno).
int winsockError(int err);

} // namespace nvx
