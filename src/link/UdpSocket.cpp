#include "link/UdpSocket.h"

#include "common/Win1252.h"

#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace nvx {

namespace {

// Largest payload a UDP datagram over IPv4 can carry.
constexpr int kMaxDatagram = 65507;

// Windows Sockets numbers used by name below.
constexpr int kErrAddressNotAvailable = 10049;
constexpr int kErrProtocolNotSupported = 10043;
constexpr int kErrNotSocket = 10038;
constexpr int kErrInvalidArgument = 10022;
constexpr int kErrHostNotFound = 11001;
constexpr int kErrTryAgain = 11002;
constexpr int kErrNonRecoverable = 11003;
constexpr int kErrNoData = 11004;

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// Parses a dotted IPv4 address ("a.b.c.d" only, no shortened forms).
bool parseDotted(const QString& text, in_addr& out)
{
    const QByteArray latin = text.toLatin1();
    return ::inet_pton(AF_INET, latin.constData(), &out) == 1;
}

QString dottedText(const in_addr& addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return QString::fromLatin1(text);
}

// Windows Sockets number of a resolver failure.
int resolverError(int gaiCode, int savedErrno)
{
    switch (gaiCode) {
    case EAI_NONAME:
        return kErrHostNotFound;
    case EAI_AGAIN:
        return kErrTryAgain;
    case EAI_FAIL:
        return kErrNonRecoverable;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return kErrNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: // the host exists but has no IPv4 address
        return kErrNoData;
#endif
    case EAI_MEMORY:
        return 7;
    case EAI_SYSTEM:
        return winsockError(savedErrno);
    default:
        return kErrNonRecoverable;
    }
}

} // namespace

UdpSocket::UdpSocket(QObject* parent) : QObject(parent) {}

UdpSocket::~UdpSocket()
{
    if (fd_ != -1)
        ::close(fd_);
}

quint16 UdpSocket::localPort() const
{
    if (fd_ == -1)
        return 0;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return 0;
    return ntohs(local.sin_port);
}

int UdpSocket::fail(int code, const QString& text)
{
    lastError_ = code;
    lastErrorText_ = text.isEmpty() ? LibSockectErr(code) : text;
    return -1;
}

int UdpSocket::failErrno(int err)
{
    return fail(winsockError(err), systemText(err));
}

bool UdpSocket::open()
{
    if (fd_ != -1)
        return true;
    // Close-on-exec so that programs started by the tool do not inherit the endpoints.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd == -1) {
        failErrno(errno);
        return false;
    }
    fd_ = fd;
    return true;
}

int UdpSocket::Bind(const QString& address, qint64 port, int protocol)
{
    if (protocol != kProtocolUdp)
        return fail(kErrProtocolNotSupported, systemText(EPROTONOSUPPORT));
    in_addr local{};
    if (!parseDotted(address.trimmed(), local))
        return fail(kErrHostNotFound, QString::fromLocal8Bit(::gai_strerror(EAI_NONAME)));
    // A port outside the 16-bit range would silently become another port once truncated.
    if (port < 0 || port > 65535)
        return fail(kErrAddressNotAvailable, QStringLiteral("Invalid port number %1").arg(port));

    const bool openedHere = fd_ == -1;
    if (!open())
        return -1;
    // A socket opened only for this bind is closed again when the bind fails, so that a
    // failed bind leaves no half-open endpoint behind (handle back to -1).
    auto failHere = [&](int err) {
        const int result = failErrno(err);
        if (openedHere) {
            ::close(fd_);
            fd_ = -1;
        }
        return result;
    };

    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags == -1 || ::fcntl(fd_, F_SETFL, blocking_ ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == -1)
        return failHere(errno);
    // Exclusive use of the address: a second listener on the same port is refused rather
    // than sharing (and splitting) the requests.
    const int off = 0;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &off, sizeof off);
    // A large buffer keeps a burst of requests from being dropped while a job runs; the
    // system may grant less (or report a doubled value), so keep what it says.
    const int wanted = kReceiveBuffer;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
    int granted = 0;
    socklen_t grantedLen = sizeof granted;
    if (::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &grantedLen) == 0)
        receiveBuffer_ = granted;

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<quint16>(port));
    addr.sin_addr = local;
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return failHere(errno);

    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    QSocketNotifier* const notifier = notifier_;
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        QPointer<UdpSocket> self(this);
        emit OnRead();
        // The handler may have closed, re-bound or destroyed the socket.
        if (!self || notifier_ != notifier || fd_ == -1)
            return;
        // An error the handler did not collect by reading would keep the socket readable
        // and the notifier firing; collect it here and report it.
        int pending = 0;
        socklen_t len = sizeof pending;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &pending, &len) == 0 && pending != 0) {
            failErrno(pending);
            emit OnError(lastError_, lastErrorText_);
        }
    });
    return 0;
}

int UdpSocket::Read(QString& buffer, int maxLength)
{
    if (fd_ == -1)
        return fail(kErrNotSocket, systemText(EBADF));
    // Reading zero bytes would consume a waiting datagram and lose it.
    if (maxLength <= 0)
        return fail(kErrInvalidArgument, systemText(EINVAL));
    if (const int code = std::exchange(nextReadFailure_, 0); code != 0)
        return fail(code);

    // One byte per character in Windows-1252: a buffer of maxLength bytes takes the first
    // maxLength characters of the datagram, and the system drops the rest of that datagram
    // (a long datagram is cut, never delivered as two reads).
    QByteArray bytes(qMin(maxLength, kMaxDatagram), Qt::Uninitialized);
    sockaddr_in peer{};
    socklen_t peerLen = sizeof peer;
    ssize_t n;
    do {
        n = ::recvfrom(fd_, bytes.data(), size_t(bytes.size()), MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&peer), &peerLen);
    } while (n == -1 && errno == EINTR);

    if (n == -1) {
        const int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            buffer.clear();
            return 0;
        }
        // The peer of a failed read is the connected peer, when there is one.
        sockaddr_in connected{};
        socklen_t connectedLen = sizeof connected;
        if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&connected), &connectedLen) == 0) {
            remoteHostAddress = dottedText(connected.sin_addr);
            remotePort = ntohs(connected.sin_port);
        }
        return failErrno(err);
    }

    bytes.truncate(n);
    buffer = fromWindows1252(bytes).left(maxLength);
    if (peerLen >= sizeof peer && peer.sin_family == AF_INET) {
        remoteHostAddress = dottedText(peer.sin_addr);
        remotePort = ntohs(peer.sin_port);
    }
    return int(buffer.size());
}

int UdpSocket::Write(const QString& data, int length)
{
    if (fd_ == -1)
        return fail(kErrNotSocket, systemText(EBADF));
    const qsizetype count = qBound(qsizetype(0), qsizetype(length), data.size());
    const QByteArray bytes = toWindows1252(data.left(count));
    ssize_t n;
    do {
        n = ::send(fd_, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    } while (n == -1 && errno == EINTR);
    if (n == -1)
        return failErrno(errno);
    emit OnWrite();
    return int(n);
}

int UdpSocket::Connect(int protocol)
{
    if (protocol != kProtocolUdp)
        return fail(kErrProtocolNotSupported, systemText(EPROTONOSUPPORT));
    // A port of 0 or beyond 16 bits names no peer.
    if (remotePort <= 0 || remotePort > 65535)
        return fail(kErrAddressNotAvailable, QStringLiteral("Invalid port number %1").arg(remotePort));

    const QString target =
        remoteHostAddress.trimmed().isEmpty() ? remoteHostName.trimmed() : remoteHostAddress.trimmed();
    if (target.isEmpty())
        return fail(kErrAddressNotAvailable, systemText(EADDRNOTAVAIL));
    in_addr peer{};
    if (!parseDotted(target, peer)) {
        QString resolved;
        if (Resolve(target, resolved) != 0)
            return -1;
        parseDotted(resolved, peer);
    }

    const bool openedHere = fd_ == -1;
    if (!open())
        return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<quint16>(remotePort));
    addr.sin_addr = peer;
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc == -1 && errno == EINTR);
    if (rc != 0) {
        const int result = failErrno(errno);
        if (openedHere) { // as for a failed bind: no half-open socket left behind
            ::close(fd_);
            fd_ = -1;
        }
        return result;
    }
    emit OnConnect();
    return 0;
}

int UdpSocket::Disconnect()
{
    if (notifier_) {
        // Possibly called from the notifier's own signal: let the event loop delete it.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (fd_ == -1)
        return 0;
    const int fd = fd_;
    fd_ = -1;
    // The descriptor is released even when close reports an error, so it is not retried.
    if (::close(fd) != 0 && errno != EINTR)
        return failErrno(errno);
    emit OnDisconnect();
    return 0;
}

int UdpSocket::Resolve(const QString& hostName, QString& address)
{
    const QByteArray name = hostName.trimmed().toUtf8();
    if (name.isEmpty())
        return fail(kErrHostNotFound, QString::fromLocal8Bit(::gai_strerror(EAI_NONAME)));
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
    if (rc != 0) {
        const int savedErrno = errno;
        const QString text =
            rc == EAI_SYSTEM ? systemText(savedErrno) : QString::fromLocal8Bit(::gai_strerror(rc));
        return fail(resolverError(rc, savedErrno), text);
    }
    const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    address = dottedText(first->sin_addr);
    ::freeaddrinfo(found);
    return 0;
}

QString LibSockectErr(int code)
{
    switch (code) {
    case 7:
        return QStringLiteral("OutOfMemory");
    case 380:
        return QStringLiteral("InvalidPropertyValue");
    case 383:
        return QStringLiteral("SetNotSupported");
    case 394:
        return QStringLiteral("GetNotSupported");
    case 10004:
        return QStringLiteral("OpCanceled");
    case 10014:
        return QStringLiteral("InvalidArgument");
    case 10035:
        return QStringLiteral("AddWouldBlock");
    case 10037:
        return QStringLiteral("AlreadyComplete");
    case 10038:
        return QStringLiteral("NotSocket");
    case 10040:
        return QStringLiteral("MsgTooBig");
    case 10043:
        return QStringLiteral("PortNotSupported");
    case 10048:
        return QStringLiteral("AddressInUse");
    case 10049:
        return QStringLiteral("AddressNotAvailable");
    case 10050:
        return QStringLiteral("NetworkSubsystemFailed");
    case 10051:
        return QStringLiteral("NetworkUnreachable");
    case 10052:
        return QStringLiteral("NetReset");
    case 10053:
        return QStringLiteral("ConnectAborted");
    case 10054:
        return QStringLiteral("ConnectionReset");
    case 10055:
        return QStringLiteral("NoBufferSpace");
    case 10056:
        return QStringLiteral("AlreadyConnected");
    case 10057:
        return QStringLiteral("NotConnected");
    case 10058:
        return QStringLiteral("SocketShutdown");
    case 10060:
        return QStringLiteral("Timedout");
    case 10061:
        return QStringLiteral("ConnectionRefused");
    case 10093:
        return QStringLiteral("NotInitialized");
    case 11001:
        return QStringLiteral("HostNotFound");
    case 11002:
        return QStringLiteral("HostNotFoundTryAgain");
    case 11003:
        return QStringLiteral("NonRecoverableError");
    case 11004:
        return QStringLiteral("NoData");
    case 40006:
        return QStringLiteral("BadState");
    case 40014:
        return QStringLiteral("InvalidArgument");
    case 40017:
        return QStringLiteral("Success");
    case 40018:
        return QStringLiteral("Unsupported");
    case 40020:
        return QStringLiteral("InvalidOp");
    case 40021:
        return QStringLiteral("OutOfRange");
    case 40026:
        return QStringLiteral("WrongProtocol");
    default:
        return {};
    }
}

// Maps errno to the Windows Sockets number callers test against. ECONNREFUSED is how Linux
// reports an ICMP port-unreachable on a connected UDP socket, i.e. no listener at the far
// end, which callers know as 10054. An errno without a Windows Sockets counterpart becomes
// 20000 + errno: outside every range callers react to (10000 + errno would collide, e.g.
// Linux EXFULL 54 with 10054), yet the original number stays recoverable from the log.
int winsockError(int err)
{
    switch (err) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return 10035;
    case ECONNRESET:
    case ECONNREFUSED:
        return 10054;
    case EADDRNOTAVAIL:
        return 10049;
    case EADDRINUSE:
        return 10048;
    case EINVAL:
        return 10022;
    case ENOBUFS:
        return 10055;
    case EMSGSIZE:
        return 10040;
    case ENETUNREACH:
        return 10051;
    case EHOSTUNREACH:
        return 10065;
    case ENOTCONN:
        return 10057;
    case EISCONN:
        return 10056;
    case ETIMEDOUT:
        return 10060;
    case EACCES:
    case EPERM: // a send refused by the local firewall
        return 10013;
    case EBADF:
    case ENOTSOCK:
        return 10038;
    case EAFNOSUPPORT:
        return 10047;
    case ECONNABORTED:
        return 10053;
    case ENOMEM:
        return 7;
    case EINTR:
        return 10004;
    case EFAULT:
        return 10014;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case EDESTADDRREQ:
        return 10039;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case EOPNOTSUPP:
        return 10045;
    case ENETDOWN:
        return 10050;
    case ENETRESET:
        return 10052;
    case ESHUTDOWN:
        return 10058;
    case EHOSTDOWN:
        return 10064;
    default:
        return 20000 + err;
    }
}

} // namespace nvx
