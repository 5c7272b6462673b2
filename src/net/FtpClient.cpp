#include "net/FtpClient.h"

#include <QUrl>

namespace nvx {

namespace {

const QString kCancelled = QStringLiteral("connexion annulée");
const QString kNotConnected = QStringLiteral("non connecté");
const QString kHostNotFound = QStringLiteral("serveur introuvable");
// Seconds a server on the implicit-TLS port is given to greet in clear before TLS is tried.
constexpr int kGreetingWaitSec = 5;

// The folders of an absolute path, "." and ".." resolved and empty parts dropped; ".." at the
// root stays at the root, as a server's CWD does.
QStringList foldersOf(const QString& path)
{
    QStringList folders;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..") {
            if (!folders.isEmpty())
                folders.removeLast();
        } else if (part != u".") {
            folders.append(part);
        }
    }
    return folders;
}

QString pathOf(const QStringList& folders)
{
    return u'/' + folders.join(u'/');
}

// path taken from current when it is relative, as an absolute path in normal form.
QString resolvePath(const QString& current, const QString& path)
{
    return pathOf(foldersOf(path.startsWith(u'/') ? path : current + u'/' + path));
}

// Each folder encoded on its own, so that a blank, '#', '%' or an accented letter in a name
// reaches the server as written, and a '/' can only separate folders.
QByteArray encodeFolders(const QStringList& folders)
{
    QByteArray path;
    for (const QString& d : folders)
        path += QUrl::toPercentEncoding(d) + '/';
    return path;
}

// What the server answered last, as libcurl hands FTP replies to the header callback.
size_t keepLastReply(char* data, size_t size, size_t count, void* target)
{
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (!line.isEmpty())
        *static_cast<QByteArray*>(target) = line;
    return size * count;
}

// A reply that tells the server does not know or does not offer a command.
bool unknownCommand(long code)
{
    return code == 500 || code == 501 || code == 502 || code == 504;
}

// What the exchange asks of the server.
enum class Request {
    Enter,        // log in, and enter the folder when one is given
    ListMlsd,     // the folder's facts, one line an entry
    ListDetailed, // the folder as its detailed listing
};

// How one exchange with the server went.
struct Exchange {
    TransferResult result;
    QByteArray data;
    QByteArray reply;     // the server's last reply line (FTP)
    long code = 0;        // its number
    bool reached = false; // the server was reached
    QString startFolder;  // the folder the session started in
};

QString reasonOf(const Exchange& x)
{
    if (x.result.failure == TransferFailure::Abandoned)
        return kCancelled;
    if (x.result.failure == TransferFailure::Tls)
        return QStringLiteral("échec de la sécurisation TLS");
    switch (x.result.code) {
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("connexion refusée par le serveur");
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return kHostNotFound;
    case CURLE_OPERATION_TIMEDOUT:
        return x.reached ? QStringLiteral("le serveur ne répond plus")
                         : QStringLiteral("délai de connexion dépassé");
    case CURLE_LOGIN_DENIED:
    case CURLE_AUTH_ERROR:
        return QStringLiteral("identifiant ou mot de passe refusé");
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
        return QStringLiteral("dossier introuvable ou accès refusé");
    case CURLE_USE_SSL_FAILED:
        return QStringLiteral("échec de la sécurisation TLS");
    case CURLE_SSH:
        return QStringLiteral("échec de la session SSH");
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return QStringLiteral("ouverture de la connexion de données impossible");
    case CURLE_WEIRD_SERVER_REPLY:
        return QStringLiteral("réponse inattendue du serveur");
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return QStringLiteral("connexion interrompue");
    default:
        return QStringLiteral("échec de l'échange avec le serveur");
    }
}

// The reason, with the server's refusal when it gave one, else the library's own text. Some
// servers quote what they were sent: the password is masked wherever it shows.
QString messageOf(const Exchange& x, const QString& password)
{
    const QString reason = reasonOf(x);
    if (x.result.failure == TransferFailure::Abandoned)
        return reason;
    const bool refused = x.reply.startsWith('4') || x.reply.startsWith('5');
    QString detail = refused ? QString::fromUtf8(x.reply) : x.result.erreur;
    if (!password.isEmpty())
        detail.replace(password, QStringLiteral("***"), Qt::CaseInsensitive);
    return detail.isEmpty() ? reason : reason + QStringLiteral(" (") + detail + u')';
}

// The entries of a listing but the folder itself and its parent, which some servers list.
QList<FtpEntry> entriesOf(const QByteArray& data, bool mlsd)
{
    QList<FtpEntry> entries = parseListing(data, mlsd);
    entries.removeIf([](const FtpEntry& e) { return e.name == u"." || e.name == u".."; });
    return entries;
}

} // namespace

struct FtpClient::Private {
    explicit Private(Host& h) : host(h) {}

    Host& host;
    std::unique_ptr<CurlLoop> loop;
    FtpAccount account;
    const char* scheme = "ftp";
    bool connected = false;
    bool noMlsd = false;
    int busy = 0;
    bool cancelled = false;
    bool closePending = false;
    QString folder = QStringLiteral("/");
    QString error;

    bool ssh() const { return account.security == FtpAccount::Security::Ssh; }
    QByteArray url(const QString* folder) const;
    void prepare(CURL* e, const QByteArray& address, QByteArray* reply) const;
    Exchange exchange(const QString* folder, Request request);
    FtpListingResult listingOf(const Exchange& x, bool mlsd);
    void fail(const Exchange& x) { error = messageOf(x, account.password); }

    // Keeps the loop alive while an operation waits in it; a disconnection asked meanwhile drops
    // the connection once the operation is over.
    struct BusyScope {
        explicit BusyScope(Private& e) : d(e)
        {
            if (d.busy++ == 0)
                d.cancelled = false;
        }
        ~BusyScope()
        {
            if (--d.busy == 0 && d.closePending) {
                d.closePending = false;
                d.loop.reset();
            }
        }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        Private& d;
    };
};

// The folder's address, absolute from the server's root; without a folder, the session's start
// folder. On FTP a leading "%2F" makes the first CWD go to the root rather than down from the
// login folder.
QByteArray FtpClient::Private::url(const QString* path) const
{
    QByteArray hostName = account.server.trimmed().toUtf8();
    if (hostName.contains(':'))
        hostName = '[' + hostName + ']';
    QByteArray address = QByteArray(scheme) + "://" + hostName + ':' + QByteArray::number(account.port) + '/';
    if (!path)
        return address;
    if (!ssh())
        address += "%2F";
    const QStringList folders = foldersOf(*path);
    if (!ssh() && !folders.isEmpty())
        address += '/';
    return address + encodeFolders(folders);
}

void FtpClient::Private::prepare(CURL* e, const QByteArray& address, QByteArray* reply) const
{
    curl_easy_setopt(e, CURLOPT_URL, address.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, scheme);
    curl_easy_setopt(e, CURLOPT_USERNAME, account.user.toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_PASSWORD, account.password.toUtf8().constData());
    if (ssh()) {
        // No known-hosts file is given, so any host key is taken: the tester only reads, and a
        // station's server is checked by the person who set it up.
        curl_easy_setopt(e, CURLOPT_SSH_AUTH_TYPES, long(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
        return;
    }
    if (account.security == FtpAccount::Security::Ssl) {
        curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        // A station's own server usually has a self-signed certificate; the tester only reads,
        // so the channel is encrypted without checking who holds it.
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (!account.passive)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(loop->answerTimeout()));
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, keepLastReply);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, reply);
}

Exchange FtpClient::Private::exchange(const QString* path, Request request)
{
    Exchange x;
    const CurlLoop::Handle h = loop->handle();
    CURL* e = h.get();
    const QByteArray address = url(path);
    // Asks for the facts the list shows; a server that knows none of them still lists.
    curl_slist facts{const_cast<char*>("*OPTS MLST type;size;modify;UNIX.mode;UNIX.owner;UNIX.group;"),
                     nullptr};
    qsizetype limit = CurlLoop::kDefaultMaxBytes;
    if (e) {
        prepare(e, address, &x.reply);
        if (request == Request::ListMlsd) {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "MLSD");
            curl_easy_setopt(e, CURLOPT_QUOTE, &facts);
        } else if (request == Request::Enter && (!ssh() || !path)) {
            curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
        } else if (request == Request::Enter) {
            // SFTP only opens a folder to read it: the first byte read proves it open, and
            // the rest is not needed.
            limit = 0;
        }
    }
    x.result = loop->run(e, &x.data, limit);
    if (x.result.failure == TransferFailure::TooLarge && limit == 0)
        x.result = TransferResult{};
    if (e && x.result.failure != TransferFailure::Abandoned) {
        curl_off_t connectTime = 0;
        curl_easy_getinfo(e, CURLINFO_CONNECT_TIME_T, &connectTime);
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &x.code);
        x.reached = connectTime > 0 || x.code > 0;
        const char* startFolder = nullptr;
        if (curl_easy_getinfo(e, CURLINFO_FTP_ENTRY_PATH, &startFolder) == CURLE_OK && startFolder)
            x.startFolder = QString::fromUtf8(startFolder);
    }
    return x;
}

FtpListingResult FtpClient::Private::listingOf(const Exchange& x, bool mlsd)
{
    FtpListingResult listing;
    if (x.result.ok()) {
        listing.entries = entriesOf(x.data, mlsd);
        error.clear();
        return listing;
    }
    fail(x);
    if (x.data.isEmpty()) {
        listing.state = FtpListingResult::State::OpenFailed;
        return listing;
    }
    // Only the lines that arrived whole.
    listing.state = FtpListingResult::State::ReadBroken;
    listing.entries = entriesOf(x.data.left(x.data.lastIndexOf('\n') + 1), mlsd);
    return listing;
}

FtpClient::FtpClient(Host& host) : d_(std::make_unique<Private>(host)) {}

FtpClient::~FtpClient() = default;

bool FtpClient::open(const FtpAccount& account)
{
    close();
    d_->account = account;
    // A row saved without a port (or with a text that is not one) takes the protocol's own.
    if (d_->account.port <= 0 || d_->account.port > 65535)
        d_->account.port = account.security == FtpAccount::Security::Ssh ? 22 : 21;
    d_->error.clear();
    if (account.server.trimmed().isEmpty()) {
        d_->error = kHostNotFound;
        return false;
    }
    const Private::BusyScope scope(*d_);
    const auto newLoop = [this] {
        d_->loop = std::make_unique<CurlLoop>(d_->host);
        d_->loop->setTimeouts(d_->account.timeoutSec, d_->account.timeoutSec);
        d_->loop->abandon = [this] { return d_->cancelled || (abandon && abandon()); };
    };
    newLoop();
    d_->scheme = d_->ssh() ? "sftp" : "ftp";
    // Port 990 is the one of servers that speak TLS from the first byte, without AUTH TLS: such a
    // server waits for the handshake while the client waits for its greeting, so the explicit try
    // there waits a few seconds only before the implicit one.
    const bool implicitTls = account.security == FtpAccount::Security::Ssl && d_->account.port == 990;
    if (implicitTls) {
        const int shortWait = qMin(d_->account.timeoutSec, kGreetingWaitSec);
        d_->loop->setTimeouts(shortWait, shortWait);
    }
    Exchange x = d_->exchange(nullptr, Request::Enter);
    if (!x.result.ok() && implicitTls && x.result.failure != TransferFailure::Abandoned &&
        x.result.code != CURLE_LOGIN_DENIED) {
        d_->scheme = "ftps";
        newLoop();
        x = d_->exchange(nullptr, Request::Enter);
    }
    if (!x.result.ok()) {
        d_->fail(x);
        d_->closePending = true;
        return false;
    }
    d_->folder = x.startFolder.startsWith(u'/') ? resolvePath(QStringLiteral("/"), x.startFolder)
                                                : QStringLiteral("/");
    d_->connected = true;
    return true;
}

void FtpClient::cancel()
{
    if (d_->busy > 0)
        d_->cancelled = true;
}

bool FtpClient::isOpen() const
{
    return d_->connected;
}

void FtpClient::close()
{
    d_->connected = false;
    d_->noMlsd = false;
    d_->folder = QStringLiteral("/");
    // Dropping the loop closes its cached connection; while an operation waits in it, that
    // operation is ended first.
    if (d_->busy > 0) {
        d_->cancelled = true;
        d_->closePending = true;
    } else {
        d_->loop.reset();
    }
}

FtpListingResult FtpClient::list()
{
    if (!d_->connected || !d_->loop) {
        d_->error = kNotConnected;
        return FtpListingResult{FtpListingResult::State::OpenFailed, {}};
    }
    const Private::BusyScope scope(*d_);
    if (!d_->ssh() && !d_->noMlsd) {
        const Exchange x = d_->exchange(&d_->folder, Request::ListMlsd);
        const bool refused = !x.result.ok() && x.data.isEmpty() && unknownCommand(x.code);
        if (!refused)
            return d_->listingOf(x, true);
        // Remembered for the connection: the server will not learn MLSD before it ends.
        d_->noMlsd = true;
    }
    return d_->listingOf(d_->exchange(&d_->folder, Request::ListDetailed), false);
}

bool FtpClient::changeFolder(const QString& path)
{
    if (!d_->connected || !d_->loop) {
        d_->error = kNotConnected;
        return false;
    }
    const Private::BusyScope scope(*d_);
    const QString target = resolvePath(d_->folder, path.trimmed());
    const Exchange x = d_->exchange(&target, Request::Enter);
    if (!x.result.ok()) {
        d_->fail(x);
        return false;
    }
    d_->folder = target;
    d_->error.clear();
    return true;
}

QString FtpClient::currentFolder() const
{
    return d_->folder;
}

QString FtpClient::lastError() const
{
    return d_->error;
}

} // namespace nvx
