#pragma once

#include <QDateTime>
#include <QString>

namespace nvx {

class Systeme;
struct PlatformValues;

// Where the token store lives in the registry; the installation key is appended.
inline const QString kCleRegistreTokenBase = QStringLiteral("Software\\Merovax\\Velmora\\NVX");

// The light scrambling of a stored token: five random digits in front, then the 11th and the
// 22nd characters exchanged. A text shorter than 22 characters keeps its order (there is no
// 22nd character to exchange), so every token survives the round trip.
QString UDPDataArrival_04_01_Authentification_01_Encode_TokenId(const QString& token);
// r in [0, 1) picks the digits; tests choose it.
QString EncodeTokenId(const QString& token, double r);
QString UDPDataArrival_04_01_Authentification_02_Decode_TokenId(const QString& texte);

// Dates are stored as "dd/MM/yyyy HH:mm:ss".
QString TexteDateStockee(const QDateTime& date);
// A date as the platform or the store writes it (ISO 8601 with or without an offset,
// "yyyy-MM-dd HH:mm:ss", "dd/MM/yyyy HH:mm:ss", a date alone); invalid when none fits.
QDateTime LireDate(const QString& texte);

// Writes and reads the token, its dates and the user description under the store's key.
// Each reports its own failures and returns false.
bool UDPDataArrival_04_01_Authentification_03_BaseRegistre_Save(Systeme& systeme, const PlatformValues& v);
bool UDPDataArrival_04_01_Authentification_04_BaseRegistre_Load(Systeme& systeme, PlatformValues& v);

} // namespace nvx
