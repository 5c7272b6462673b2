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

} // namespace nvx
