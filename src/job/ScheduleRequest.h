#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

namespace nvx {

// One scheduler request: "<Key:Value>" fields in any order, none mandatory.
struct ScheduleRequest {
    QString ComputerName;
    QString SchedulerVersion;
    QString DateConducteur; // "YYYYMMDD"
    qint16 HHDeb = 0;       // 0..23
    qint16 HHFin = 0;       // 0..23
    qint16 NoStation = 0;
    QString NoStationTexte; // as received
    QString StationLib;
    QString UserId;
    QString UserLib;
    QDateTime BuilddDate;    // the current date and time when the text is no valid date
    QString BuilddDateTexte; // as received
    QString ReponseIP;       // empty: no replies
    qint32 ReponsePort = 0;

    // The schedule date, invalid unless DateConducteur is eight digits forming a real date.
    QDate dateConducteur() const;
};

// Parses a request text; now is the fallback of BuilddDate.
ScheduleRequest parseScheduleRequest(const QString& texte, const QDateTime& now);

} // namespace nvx
