#pragma once

#include "platform/PlatformConfig.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace nvx {

// One exchange with the platform: the kind its answer is analysed under, the method, the path
// after the base URL and the body (UTF-8; empty for a GET).
struct PlatformRequest {
    QString kind;
    bool post = false;
    QString path;
    QByteArray body;
};

// The request kinds, which also name the answer files and select the analysis rules.
namespace kinds {
inline const QString AuthCheck = QStringLiteral("auth_check");
inline const QString Auth = QStringLiteral("auth");
inline const QString GetStatusHours = QStringLiteral("get_status_hours");
inline const QString FtpSons = QStringLiteral("ftp_sons");
inline const QString ExportSchedule = QStringLiteral("export_schedule");
inline const QString SetStatusHour = QStringLiteral("set_status_hour");
} // namespace kinds

// "&", "<" and ">" as entities, so that a value can never break the document it goes into.
QString EchappeXml(const QString& text);

PlatformRequest RequeteAuthCheck(const QString& token);
PlatformRequest RequeteAuth(const QString& cle, const QString& secret);
PlatformRequest RequeteFtpCredentials(const QString& token);
PlatformRequest RequeteStatutHeures(const QString& token, qint16 noStation, const QDate& date);
PlatformRequest RequeteFtpSons(const QString& token, const PlatformFtpAccount& compte);
PlatformRequest RequeteImportConducteur(const QString& token, qint16 noStation, const QByteArray& corps);
PlatformRequest RequeteSetStatutHeure(const QString& token, qint16 noStation, const QDate& date, int heure);

// The FTP account as the platform expects it; server, user and password lose their outer
// blanks, folder and port go as typed.
QString CorpsFtp(const PlatformFtpAccount& compte);
// A schedule file as sent: every line, the last one included, followed by CR LF. Lines end at
// CR LF, LF or a lone CR. A file that is not valid UTF-8 is read as Windows-1252.
QByteArray CorpsConducteur(const QByteArray& contenuFichier);

} // namespace nvx
