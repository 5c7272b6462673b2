#include "platform/PlatformRequests.h"

#include "common/TextHelpers.h"
#include "common/Win1252.h"

#include <algorithm>
#include <cstring>

namespace nvx {

namespace {

QString tokenPath(const QString& token)
{
    return u'/' + token;
}

QString radioPath(const QString& token, qint16 noStation)
{
    return tokenPath(token) + QStringLiteral("/radio/") + QString::number(noStation);
}

QString dayPath(const QString& token, qint16 noStation, const QDate& date)
{
    return radioPath(token, noStation) + QStringLiteral("/schedule/") +
           date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString element(const QString& name, const QString& value)
{
    return u'<' + name + u'>' + EchappeXml(value) + QStringLiteral("</") + name + u'>';
}

// True when every line, the last one included, already ends with CR LF and no other CR or LF
// appears: the body is then the file itself. Every LF follows a CR, and there are as many CRs
// as LFs.
bool toutEnCrLf(const QByteArray& contenu)
{
    if (!contenu.endsWith("\r\n"))
        return false;
    const char* const debut = contenu.constData();
    const char* const fin = debut + contenu.size();
    qsizetype lignes = 0;
    for (const char* p = debut; p < fin; ++p) {
        p = static_cast<const char*>(std::memchr(p, '\n', size_t(fin - p)));
        if (!p)
            break;
        if (p == debut || p[-1] != '\r')
            return false;
        ++lignes;
    }
    return std::count(debut, fin, '\r') == lignes;
}

} // namespace

QString EchappeXml(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'&')
            out += QStringLiteral("&amp;");
        else if (c == u'<')
            out += QStringLiteral("&lt;");
        else if (c == u'>')
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

PlatformRequest RequeteAuthCheck(const QString& token)
{
    return {kinds::AuthCheck, false, tokenPath(token) + QStringLiteral("/auth/test"), {}};
}

PlatformRequest RequeteAuth(const QString& cle, const QString& secret)
{
    const QString corps = QStringLiteral("<auth>") + element(QStringLiteral("key"), cle) +
                          element(QStringLiteral("secret"), secret) + QStringLiteral("</auth>");
    return {kinds::Auth, true, QStringLiteral("/auth"), corps.toUtf8()};
}

PlatformRequest RequeteFtpCredentials(const QString& token)
{
    return {kinds::Auth, false, tokenPath(token) + QStringLiteral("/ftp/credentials"), {}};
}

PlatformRequest RequeteStatutHeures(const QString& token, qint16 noStation, const QDate& date)
{
    return {kinds::GetStatusHours, false, dayPath(token, noStation, date) + QStringLiteral("/status"), {}};
}

PlatformRequest RequeteFtpSons(const QString& token, const PlatformFtpAccount& compte)
{
    return {kinds::FtpSons, true, tokenPath(token) + QStringLiteral("/ftp/credentials"),
            CorpsFtp(compte).toUtf8()};
}

PlatformRequest RequeteImportConducteur(const QString& token, qint16 noStation, const QByteArray& corps)
{
    return {kinds::ExportSchedule, true, radioPath(token, noStation) + QStringLiteral("/schedule/import"),
            corps};
}

PlatformRequest RequeteSetStatutHeure(const QString& token, qint16 noStation, const QDate& date, int heure)
{
    return {kinds::SetStatusHour, true,
            dayPath(token, noStation, date) + u'/' + QString::number(heure) + QStringLiteral("/status"),
            QByteArrayLiteral("<hour><state>1</state></hour>")};
}

QString CorpsFtp(const PlatformFtpAccount& compte)
{
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    return QStringLiteral("<ftp>") + element(QStringLiteral("url"), vbTrim(compte.Serveur)) +
           element(QStringLiteral("folder"), compte.Dossier) +
           element(QStringLiteral("port"), compte.NoPort) +
           element(QStringLiteral("user"), vbTrim(compte.User)) +
           element(QStringLiteral("pw"), vbTrim(compte.PW)) + QStringLiteral("<cnx>0</cnx>") +
           element(QStringLiteral("securessl"), flag(compte.SecureSSL)) +
           element(QStringLiteral("securessh"), flag(compte.SecureSSH)) +
           QStringLiteral("<retry>1</retry></ftp>");
}

QByteArray CorpsConducteur(const QByteArray& contenuFichier)
{
    const QByteArray contenu =
        contenuFichier.isValidUtf8() ? contenuFichier : fromWindows1252(contenuFichier).toUtf8();
    if (toutEnCrLf(contenu))
        return contenu;

    QByteArray corps;
    corps.reserve(contenu.size() + contenu.size() / 16 + 2);
    const char* debut = contenu.constData();
    const char* const n = debut + contenu.size();
    while (debut < n) {
        const char* fin = debut;
        while (fin < n && *fin != '\r' && *fin != '\n')
            ++fin;
        corps.append(debut, fin - debut);
        corps.append("\r\n", 2);
        if (fin < n && *fin == '\r' && fin + 1 < n && fin[1] == '\n')
            ++fin;
        debut = fin + 1;
    }
    return corps;
}

} // namespace nvx
