#include "app/PendingSteps.h"

#include "common/Reporter.h"
#include "common/TextHelpers.h"

namespace nvx {

void ExportNonDisponible::UDPDataArrival_03_Create_XML(qint16, qint16, const QString&, const QString&,
                                                       const QString&, const QString&, const QString&,
                                                       int heure, const QString&, HourFiles&)
{
    reporter_.trace(
        QStringLiteral("Warning: UDPDataArrival_03_Create_XML: the schedule export is not available yet "
                       "(hour ") +
        N2S(heure, 2) + u')');
}

bool PlateformeNonDisponible::nonDisponible(const QString& etape)
{
    reporter_.trace(QStringLiteral("Warning: ") + etape +
                    QStringLiteral(": the platform client is not available yet"));
    return false;
}

bool PlateformeNonDisponible::UDPDataArrival_04_01_Authentification(const QString&, const QString&, bool)
{
    return nonDisponible(QStringLiteral("UDPDataArrival_04_01_Authentification"));
}

bool PlateformeNonDisponible::UDPDataArrival_04_02_Hours_Get_Status(qint16, const QDate&, qint16, qint16)
{
    return nonDisponible(QStringLiteral("UDPDataArrival_04_02_Hours_Get_Status"));
}

bool PlateformeNonDisponible::UDPDataArrival_04_03_FTP_Sons(int)
{
    return nonDisponible(QStringLiteral("UDPDataArrival_04_03_FTP_Sons"));
}

bool PlateformeNonDisponible::UDPDataArrival_04_04_Conducteur(qint16, const QString&)
{
    return nonDisponible(QStringLiteral("UDPDataArrival_04_04_Conducteur"));
}

bool PlateformeNonDisponible::UDPDataArrival_04_05_Hours_Set_Status(qint16, const QDate&, int, int)
{
    return nonDisponible(QStringLiteral("UDPDataArrival_04_05_Hours_Set_Status"));
}

} // namespace nvx
