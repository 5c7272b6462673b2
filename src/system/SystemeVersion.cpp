#include "system/Systeme.h"

namespace nvx {

int buildVersionMajor();
int buildVersionMinor();
int buildVersionRevision();

QString Systeme::VersionApplication(int major, int minor, int revision)
{
    // Each number is padded to four digits before it is cut apart: 822 is month 08, day 22.
    const auto four = [](int n) { return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')).right(4); };
    const QString mmdd = four(minor);
    const QString hhmm = four(revision);
    return QString::number(major) + u'.' + mmdd.left(2) + mmdd.mid(2, 2) + u'.' + hhmm.left(2) +
           hhmm.mid(2, 2);
}

QString Systeme::VersionApplication()
{
    return VersionApplication(buildVersionMajor(), buildVersionMinor(), buildVersionRevision());
}

} // namespace nvx
