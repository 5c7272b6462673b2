#include "net/CurlLoop.h"

#include "common/Host.h"

#include <mutex>

namespace nvx {

namespace {

// How long one wait on the sockets may last before pending events run again.
constexpr int kPollMs = 20;

const QString kFermeture = QStringLiteral("fermeture du programme demandée");

void initialiseCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where a transfer's answer goes, and whether it went past what was allowed.
struct Collector {
    QByteArray* body = nullptr;
    qsizetype maxBytes = 0;
    bool tooLarge = false;
};

size_t collect(char* data, size_t size, size_t count, void* target)
{
    auto* c = static_cast<Collector*>(target);
    const size_t n = size * count;
    // Returning less than was given ends the transfer with a write error.
    if (c->body->size() + qsizetype(n) > c->maxBytes) {
        c->tooLarge = true;
        return 0;
    }
    c->body->append(data, qsizetype(n));
    return n;
}

using Failure = TransferFailure;

// The kind of a failed transfer. A time-out before the request could be sent is the
// connection's, any later one the answer's (a connection kept from an earlier transfer has no
// connect time of its own, so the request's size tells).
Failure failureOf(CURLcode code, CURL* easy, bool tooLarge)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: {
        long requestBytes = 0;
        curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestBytes);
        return requestBytes > 0 ? Failure::ResponseTimeout : Failure::ConnectTimeout;
    }
    case CURLE_COULDNT_CONNECT:
        return Failure::Refused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Failure::NotFound;
    case CURLE_GOT_NOTHING:
        return Failure::Empty;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return Failure::Interrupted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
        return Failure::Tls;
    case CURLE_WRITE_ERROR:
        return tooLarge ? Failure::TooLarge : Failure::Other;
    case CURLE_ABORTED_BY_CALLBACK:
        return Failure::Abandoned;
    default:
        return Failure::Other;
    }
}

template <class T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const
    {
        if (p)
            Free(p);
    }
};

void freeMulti(CURLM* m)
{
    curl_multi_cleanup(m);
}

using Easy = std::unique_ptr<CURL, Deleter<CURL, curl_easy_cleanup>>;
using Multi = std::unique_ptr<CURLM, Deleter<CURLM, freeMulti>>;

TransferResult failed(CURLcode code, Failure failure, const QString& text)
{
    return TransferResult{code, failure, text};
}

} // namespace

bool isUnreachable(TransferFailure failure)
{
    switch (failure) {
    case Failure::ConnectTimeout:
    case Failure::ResponseTimeout:
    case Failure::Refused:
    case Failure::NotFound:
    case Failure::Tls:
    case Failure::Abandoned:
        return true;
    default:
        return false;
    }
}

// Connection cache and resolved names shared by every transfer of the loop, and the handles of
// finished transfers kept for the next ones (a transfer made while another waits takes new
// ones).
struct CurlLoop::Idle {
    Idle()
    {
        share = curl_share_init();
        if (share) {
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    ~Idle()
    {
        // The handles go before the share they use.
        easy.clear();
        multi.clear();
        if (share)
            curl_share_cleanup(share);
    }
    Idle(const Idle&) = delete;
    Idle& operator=(const Idle&) = delete;

    CURLSH* share = nullptr;
    std::vector<Easy> easy;
    std::vector<Multi> multi;
};

void CurlLoop::HandleReturn::operator()(CURL* easy) const
{
    if (!easy)
        return;
    // Cleared of every option: the headers, buffers and error text they point to are gone by
    // the next transfer.
    curl_easy_reset(easy);
    loop->idle_->easy.emplace_back(easy);
}

CurlLoop::CurlLoop(Host& host) : host_(host)
{
    initialiseCurl();
    idle_ = std::make_unique<Idle>();
}

CurlLoop::~CurlLoop() = default;

void CurlLoop::setTimeouts(int connectSec, int answerSec)
{
    connectSec_ = connectSec > 0 ? connectSec : 15;
    answerSec_ = answerSec > 0 ? answerSec : 120;
}

CurlLoop::Handle CurlLoop::handle()
{
    CURL* easy = nullptr;
    if (idle_->easy.empty()) {
        easy = curl_easy_init();
    } else {
        easy = idle_->easy.back().release();
        idle_->easy.pop_back();
    }
    if (easy && idle_->share)
        curl_easy_setopt(easy, CURLOPT_SHARE, idle_->share);
    return Handle(easy, HandleReturn{this});
}

TransferResult CurlLoop::run(CURL* easy, QByteArray* body, qsizetype maxBytes)
{
    const auto abandonne = [this] { return abandon && abandon(); };
    if (abandonne())
        return failed(CURLE_ABORTED_BY_CALLBACK, Failure::Abandoned, kFermeture);
    if (!easy)
        return failed(CURLE_FAILED_INIT, Failure::Other, QStringLiteral("transfer client unavailable"));

    Multi multi;
    if (idle_->multi.empty()) {
        multi.reset(curl_multi_init());
    } else {
        multi = std::move(idle_->multi.back());
        idle_->multi.pop_back();
    }
    if (!multi)
        return failed(CURLE_FAILED_INIT, Failure::Other, QStringLiteral("transfer client unavailable"));

    char errorText[CURL_ERROR_SIZE] = {};
    Collector collector{body, maxBytes, false};
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, long(connectSec_));
    // The answer gets its own allowance on top of the connection's.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, long(connectSec_) + long(answerSec_));
    if (body) {
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &collector);
    }

    // However the transfer ends: the handle no longer points into this frame, and the multi
    // handle is kept for the next transfer.
    struct Fin {
        CurlLoop& loop;
        CURL* easy;
        Multi& multi;
        bool attached = false;
        bool body = false;
        ~Fin()
        {
            if (attached)
                curl_multi_remove_handle(multi.get(), easy);
            curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
            if (body) {
                curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, static_cast<curl_write_callback>(nullptr));
                curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(stdout));
            }
            loop.idle_->multi.push_back(std::move(multi));
        }
    } fin{*this, easy, multi, false, body != nullptr};

    if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK)
        return failed(CURLE_FAILED_INIT, Failure::Other, QStringLiteral("transfer client unavailable"));
    fin.attached = true;

    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        const CURLMcode m = curl_multi_perform(multi.get(), &running);
        if (m != CURLM_OK)
            return failed(CURLE_FAILED_INIT, Failure::Other, QString::fromUtf8(curl_multi_strerror(m)));
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
        host_.pump();
        if (abandonne())
            return failed(CURLE_ABORTED_BY_CALLBACK, Failure::Abandoned, kFermeture);
    }

    if (!done)
        return failed(CURLE_RECV_ERROR, Failure::Interrupted,
                      QStringLiteral("transfer ended without a result"));
    if (result != CURLE_OK) {
        const QString detail =
            errorText[0] ? QString::fromUtf8(errorText) : QString::fromUtf8(curl_easy_strerror(result));
        return failed(result, failureOf(result, easy, collector.tooLarge), detail);
    }
    return {};
}

} // namespace nvx
