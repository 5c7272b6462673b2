#include "net/HttpTransport.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace nvx {

namespace {

template <class T, void (*Free)(T*)> struct Deleter {
    void operator()(T* p) const
    {
        if (p)
            Free(p);
    }
};

using Headers = std::unique_ptr<curl_slist, Deleter<curl_slist, curl_slist_free_all>>;

curl_slist* appendHeader(curl_slist* list, const char* header)
{
    curl_slist* next = curl_slist_append(list, header);
    return next ? next : list;
}

bool secure(const QString& url)
{
    return url.startsWith(QLatin1String("https:"), Qt::CaseInsensitive);
}

} // namespace

HttpTransport::HttpTransport(Host& host) : loop_(host)
{
    loop_.abandon = [this] { return abandon && abandon(); };
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
    if (secure(url) && !caFile_.isEmpty() && !QFileInfo(caFile_).isFile()) {
        answer.curlCode = int(CURLE_SSL_CACERT_BADFILE);
        answer.failure = HttpAnswer::Failure::Tls;
        answer.erreur = QStringLiteral("fichier de certificats introuvable: ") + caFile_;
        return answer;
    }
    const CurlLoop::Handle easy = loop_.handle();
    CURL* e = easy.get();

    const QByteArray urlBytes = url.toUtf8();
    const QByteArray caBytes = QFile::encodeName(caFile_);
    Headers headers;
    if (e) {
        curl_easy_setopt(e, CURLOPT_URL, urlBytes.constData());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent());
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        // A named bundle is the whole of what is trusted: the system's folder of authorities
        // is left out too.
        if (!caBytes.isEmpty()) {
            curl_easy_setopt(e, CURLOPT_CAINFO, caBytes.constData());
            curl_easy_setopt(e, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
        }
        curl_slist* list = appendHeader(nullptr, "Accept: */*");
        if (body) {
            list = appendHeader(list, "Content-Type: text/xml; charset=UTF-8");
            // A schedule is sent at once rather than after a round trip asking for permission.
            list = appendHeader(list, "Expect:");
            curl_easy_setopt(e, CURLOPT_POST, 1L);
            curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body->size()));
            curl_easy_setopt(e, CURLOPT_POSTFIELDS, body->constData());
        }
        headers.reset(list);
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    }

    const TransferResult result = loop_.run(e, &answer.body, kMaxAnswerBytes);
    if (e && result.failure != HttpAnswer::Failure::Abandoned)
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &answer.status);
    if (!result.ok()) {
        answer.body.clear();
        answer.curlCode = int(result.code);
        answer.failure = result.failure;
        answer.erreur = result.erreur;
    }
    return answer;
}

} // namespace nvx
