#include "platform/TokenStore.h"

#include "common/TextHelpers.h"
#include "platform/PlatformValues.h"
#include "system/Systeme.h"

#include <QRandomGenerator>

#include <cmath>

namespace nvx {

namespace {

// Positions (0-based) of the two exchanged characters.
constexpr qsizetype kFirst = 10;
constexpr qsizetype kSecond = 21;

QString exchange(QString text)
{
    if (text.size() > kSecond)
        std::swap(text[kFirst], text[kSecond]);
    return text;
}

const QString kValueToken = QStringLiteral("TokenId");
const QString kValueCreation = QStringLiteral("TokenDateCreation");
const QString kValueExpiration = QStringLiteral("TokenDateExpiration");
const QString kValueDescription = QStringLiteral("UserDescription");

} // namespace

QString EncodeTokenId(const QString& token, double r)
{
    // An empty token stays empty so that the store reads back as "no token".
    if (token.isEmpty())
        return {};
    const double n = std::round(r * 9990001.0 + 9999.0);
    return exchange(N2S(n, 5) + token);
}

QString UDPDataArrival_04_01_Authentification_01_Encode_TokenId(const QString& token)
{
    return EncodeTokenId(token, QRandomGenerator::global()->generateDouble());
}

QString UDPDataArrival_04_01_Authentification_02_Decode_TokenId(const QString& texte)
{
    return exchange(texte).mid(5);
}

QString TexteDateStockee(const QDateTime& date)
{
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")) : QString();
}

QDateTime LireDate(const QString& texte)
{
    const QString t = texte.trimmed();
    if (t.isEmpty())
        return {};
    QDateTime d = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (d.isValid())
        return d.timeSpec() == Qt::LocalTime ? d : d.toLocalTime();
    static const QString formats[] = {
        QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("dd/MM/yyyy HH:mm:ss"),
        QStringLiteral("dd/MM/yyyy HH:mm"),
        QStringLiteral("yyyy-MM-dd HH:mm"),
    };
    for (const QString& f : formats) {
        d = QDateTime::fromString(t, f);
        if (d.isValid())
            return d;
    }
    for (const QString& f : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("dd/MM/yyyy")}) {
        const QDate day = QDate::fromString(t, f);
        if (day.isValid())
            return QDateTime(day, QTime(0, 0));
    }
    return {};
}

bool UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(Systeme& systeme, const PlatformValues& v)
{
    const quint32 root = Systeme::HKEY_LOCAL_MACHINE;
    const QString& key = v.PbSCleRegistreToken;
    // Together: a token is never kept with the dates of another.
    return systeme.Reg_SetValues(
               root, key,
               {{kValueToken, UDPDataArrival_04_01_Authentification_01_Encode_TokenId(v.TokenId)},
                {kValueCreation, TexteDateStockee(v.TokenDateCreation)},
                {kValueExpiration, TexteDateStockee(v.TokenDateExpiration)},
                {kValueDescription, v.UserDescription}}) == 0;
}

bool UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(Systeme& systeme, PlatformValues& v)
{
    const quint32 root = Systeme::HKEY_LOCAL_MACHINE;
    const QString& key = v.PbSCleRegistreToken;
    QString value;
    systeme.Reg_GetValue(root, key, kValueToken, value);
    if (value.trimmed().isEmpty()) {
        v.TokenId.clear();
        return false;
    }
    v.TokenId = UDPDataArrival_04_01_Authentification_02_Decode_TokenId(value);
    systeme.Reg_GetValue(root, key, kValueCreation, value);
    if (const QDateTime d = LireDate(value); d.isValid())
        v.TokenDateCreation = d;
    systeme.Reg_GetValue(root, key, kValueExpiration, value);
    if (const QDateTime d = LireDate(value); d.isValid())
        v.TokenDateExpiration = d;
    systeme.Reg_GetValue(root, key, kValueDescription, value);
    v.UserDescription = value;
    return true;
}

} // namespace nvx
