#include "platform/HttpTransport.h"

#include "common/Host.h"

#include <curl/curl.h>
#include <mutex>
#include <vector>

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

size_t appendBody(char* data, size_t size, size_t count, void* target)
{
    auto* body = static_cast<QByteArray*>(target);
    const size_t n = size * count;
    // Returning less than was given ends the transfer with a write error.
    if (body->size() + qsizetype(n) > HttpTransport::kMaxAnswerBytes)
        return 0;
    body->append(data, qsizetype(n));
    return n;
}

using Failure = HttpAnswer::Failure;

// The kind of a failed transfer. A time-out before the request could be sent is the
// connection's, any later one the answer's (a connection kept from an earlier request has no
// connect time of its own, so the request's size tells).
Failure failureOf(CURLcode code, CURL* easy)
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
        return Failure::TooLarge;
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
using Headers = std::unique_ptr<curl_slist, Deleter<curl_slist, curl_slist_free_all>>;

curl_slist* appendHeader(curl_slist* list, const char* header)
{
    curl_slist* next = curl_slist_append(list, header);
    return next ? next : list;
}

} // namespace

// Connection cache and resolved names shared by every request of this transport, and the
// handles of finished requests kept for the next ones (a request made while another waits
// takes new ones).
struct HttpTransport::Shared {
    Shared()
    {
        handle = curl_share_init();
        if (handle) {
            curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
            curl_share_setopt(handle, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        }
    }
    ~Shared()
    {
        // The handles go before the share they use.
        idleEasy.clear();
        idleMulti.clear();
        if (handle)
            curl_share_cleanup(handle);
    }
    // An idle handle of the kind, or a new one when none is idle.
    template <class Handle, class Init> static Handle take(std::vector<Handle>& idle, Init init)
    {
        if (idle.empty())
            return Handle(init());
        Handle h = std::move(idle.back());
        idle.pop_back();
        return h;
    }

    CURLSH* handle = nullptr;
    std::vector<Easy> idleEasy;
    std::vector<Multi> idleMulti;
};

bool HttpAnswer::unreachable() const
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

HttpTransport::HttpTransport(Host& host) : host_(host)
{
    initialiseCurl();
    shared_ = std::make_unique<Shared>();
}

HttpTransport::~HttpTransport() = default;

void HttpTransport::setDelais(int connexionSec, int reponseSec)
{
    connexionSec_ = connexionSec > 0 ? connexionSec : 15;
    reponseSec_ = reponseSec > 0 ? reponseSec : 120;
}

const char* HttpTransport::userAgent()
{
    return "Mozilla/4.0 (compatible; Clever Internet Suite)";
}

HttpAnswer HttpTransport::get(const QString& url)
{
    return send(url, nullptr);
}

HttpAnswer HttpTransport::post(const QString& url, const QByteArray& body)
{
    return send(url, &body);
}

HttpAnswer HttpTransport::send(const QString& url, const QByteArray* body)
{
    HttpAnswer answer;
    const auto failed = [&answer](int code, Failure failure, const QString& text) {
        answer.body.clear();
        answer.curlCode = code;
        answer.failure = failure;
        answer.erreur = text;
        return answer;
    };

    const auto abandonne = [this] { return abandon && abandon(); };
    if (abandonne())
        return failed(CURLE_ABORTED_BY_CALLBACK, Failure::Abandoned, kFermeture);

    Easy easy = Shared::take(shared_->idleEasy, curl_easy_init);
    Multi multi = Shared::take(shared_->idleMulti, curl_multi_init);
    if (!easy || !multi)
        return failed(CURLE_FAILED_INIT, Failure::Other, QStringLiteral("HTTP client unavailable"));
    // Handed back for the next request however this one ends, cleared of every option: the
    // headers, buffers and error text they point to are gone by then.
    struct Retour {
        Shared& shared;
        Easy& easy;
        Multi& multi;
        ~Retour()
        {
            curl_easy_reset(easy.get());
            shared.idleEasy.push_back(std::move(easy));
            shared.idleMulti.push_back(std::move(multi));
        }
    };

    const QByteArray urlBytes = url.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, long(connexionSec_));
    // The answer gets its own allowance on top of the connection's.
    curl_easy_setopt(e, CURLOPT_TIMEOUT, long(connexionSec_) + long(reponseSec_));
    if (shared_->handle)
        curl_easy_setopt(e, CURLOPT_SHARE, shared_->handle);

    curl_slist* list = appendHeader(nullptr, "Accept: */*");
    if (body) {
        list = appendHeader(list, "Content-Type: text/xml; charset=UTF-8");
        // A schedule is sent at once rather than after a round trip asking for permission.
        list = appendHeader(list, "Expect:");
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, body->constData());
    }
    const Headers headers(list);
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    const Retour retour{*shared_, easy, multi};

    if (curl_multi_add_handle(multi.get(), e) != CURLM_OK)
        return failed(CURLE_FAILED_INIT, Failure::Other, QStringLiteral("HTTP client unavailable"));

    CURLcode result = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        const CURLMcode m = curl_multi_perform(multi.get(), &running);
        if (m != CURLM_OK) {
            curl_multi_remove_handle(multi.get(), e);
            return failed(CURLE_FAILED_INIT, Failure::Other, QString::fromUtf8(curl_multi_strerror(m)));
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == e) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        curl_multi_poll(multi.get(), nullptr, 0, kPollMs, nullptr);
        host_.pump();
        if (abandonne()) {
            curl_multi_remove_handle(multi.get(), e);
            return failed(CURLE_ABORTED_BY_CALLBACK, Failure::Abandoned, kFermeture);
        }
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    const Failure failure = result == CURLE_OK ? Failure::None : failureOf(result, e);
    curl_multi_remove_handle(multi.get(), e);

    if (!done)
        return failed(CURLE_RECV_ERROR, Failure::Interrupted,
                      QStringLiteral("transfer ended without a result"));
    if (result != CURLE_OK) {
        const QString detail =
            errorText[0] ? QString::fromUtf8(errorText) : QString::fromUtf8(curl_easy_strerror(result));
        return failed(int(result), failure, detail);
    }
    return answer;
}

} // namespace nvx
