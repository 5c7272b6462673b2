#include "net/SmtpClient.h"

#include <cstring>
#include <memory>

namespace nvx {

namespace {

// Seconds allowed to reach the server, then for the whole conversation.
constexpr int kConnectSec = 15;
constexpr int kAnswerSec = 60;

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

// The message handed to the library piece by piece.
struct Upload {
    const QByteArray* data = nullptr;
    qsizetype sent = 0;
};

size_t readChunk(char* buffer, size_t size, size_t count, void* source)
{
    auto* up = static_cast<Upload*>(source);
    const size_t room = size * count;
    const size_t left = size_t(up->data->size() - up->sent);
    const size_t n = left < room ? left : room;
    std::memcpy(buffer, up->data->constData() + up->sent, n);
    up->sent += qsizetype(n);
    return n;
}

QByteArray urlFor(const SmtpAccount& account)
{
    const bool implicit = account.security == SmtpAccount::Security::ImplicitTls;
    QString host = account.server.trimmed();
    if (host.contains(u':') && !host.startsWith(u'['))
        host = u'[' + host + u']';
    const QString url = (implicit ? QStringLiteral("smtps://") : QStringLiteral("smtp://")) + host + u':' +
                        QString::number(account.port);
    return url.toUtf8();
}

// Every address between angle brackets, as the MAIL and RCPT commands want them.
QByteArray bracketed(const QString& address)
{
    return '<' + address.trimmed().toUtf8() + '>';
}

Slist recipientList(const QStringList& recipients)
{
    curl_slist* list = nullptr;
    for (const QString& r : recipients) {
        // On failure the list is left as it was.
        if (curl_slist* head = curl_slist_append(list, bracketed(r).constData()))
            list = head;
    }
    return Slist(list);
}

// The answers the library words itself for a command the server refused.
bool refusedCommand(const TransferResult& result, const char* command)
{
    return result.code == CURLE_SEND_ERROR && result.erreur.startsWith(QLatin1String(command));
}

} // namespace

SmtpClient::SmtpClient(Host& host) : loop_(host)
{
    loop_.setTimeouts(kConnectSec, kAnswerSec);
    loop_.abandon = [this] { return abandon && abandon(); };
}

SmtpResult SmtpClient::send(const SmtpAccount& account, const QString& from, const QStringList& recipients,
                            const QByteArray& message)
{
    const CurlLoop::Handle handle = loop_.handle();
    CURL* e = handle.get();
    const QByteArray url = urlFor(account);
    const QByteArray sender = bracketed(from);
    const QByteArray user = account.user.toUtf8();
    const QByteArray password = account.password.toUtf8();
    const QByteArray caFile = account.caFile.toLocal8Bit();
    const Slist rcpt = recipientList(recipients);
    Upload upload{&message, 0};
    if (e) {
        curl_easy_setopt(e, CURLOPT_URL, url.constData());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        // Mails are rare: a connection kept open would be dropped by the server before the next
        // one, and would carry the security settings it was opened with. Each mail ends with QUIT.
        curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
        if (account.security == SmtpAccount::Security::StartTls)
            curl_easy_setopt(e, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!caFile.isEmpty())
            curl_easy_setopt(e, CURLOPT_CAINFO, caFile.constData());
        if (!user.isEmpty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, user.constData());
            curl_easy_setopt(e, CURLOPT_PASSWORD, password.constData());
        }
        curl_easy_setopt(e, CURLOPT_MAIL_FROM, sender.constData());
        curl_easy_setopt(e, CURLOPT_MAIL_RCPT, rcpt.get());
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, readChunk);
        curl_easy_setopt(e, CURLOPT_READDATA, &upload);
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
    }
    SmtpResult result;
    result.transfer = loop_.run(e);
    result.reason = reasonFor(result.transfer);
    return result;
}

QString SmtpClient::reasonFor(const TransferResult& result)
{
    if (result.ok())
        return {};
    if (result.code == CURLE_LOGIN_DENIED)
        return QStringLiteral("identifiant ou mot de passe refusé par le serveur SMTP");
    if (result.code == CURLE_USE_SSL_FAILED)
        return QStringLiteral("échec de la sécurisation TLS");
    if (refusedCommand(result, "RCPT"))
        return QStringLiteral("destinataire refusé par le serveur");
    if (refusedCommand(result, "MAIL"))
        return QStringLiteral("expéditeur refusé par le serveur");
    switch (result.failure) {
    case TransferFailure::Refused:
        return QStringLiteral("serveur SMTP injoignable");
    case TransferFailure::ConnectTimeout:
        return QStringLiteral("serveur SMTP injoignable (délai dépassé)");
    case TransferFailure::NotFound:
        return QStringLiteral("serveur SMTP introuvable");
    case TransferFailure::Tls:
        return QStringLiteral("échec de la sécurisation TLS");
    case TransferFailure::Interrupted:
    case TransferFailure::Empty:
        return QStringLiteral("connexion interrompue par le serveur");
    case TransferFailure::ResponseTimeout:
        return QStringLiteral("délai dépassé");
    case TransferFailure::Abandoned:
        return QStringLiteral("fermeture du programme demandée");
    default:
        break;
    }
    if (result.code == CURLE_WEIRD_SERVER_REPLY)
        return QStringLiteral("réponse inattendue du serveur SMTP");
    return QStringLiteral("échec de l'envoi (code %1)").arg(int(result.code));
}

} // namespace nvx
