#include "app/SystemDescription.h"

#include "system/Systeme.h"

#include <QStringList>
#include <QSysInfo>
#include <QtGlobal>

#include <curl/curl.h>

namespace nvx {

SystemFacts currentSystemFacts(const Systeme& systeme)
{
    SystemFacts facts;
    facts.os = systeme.GetOSDisplayString();
    facts.kernelType = QSysInfo::kernelType();
    facts.kernelVersion = QSysInfo::kernelVersion();
    facts.memoryUsedBytes = systeme.GetMemoryUsage();
    facts.qtVersion = QString::fromLatin1(qVersion());
    facts.curlVersion = QString::fromLatin1(curl_version());
    return facts;
}

QString systemDescription(const SystemFacts& facts)
{
    if (facts.os.trimmed().isEmpty())
        return QStringLiteral("Les informations système ne sont pas disponibles actuellement");
    const qint64 megabytes = (facts.memoryUsedBytes + 512 * 1024) / (1024 * 1024);
    QStringList lines;
    lines << QStringLiteral("Système d'exploitation : ") + facts.os.trimmed();
    lines << QStringLiteral("Noyau : ") + QString(facts.kernelType + u' ' + facts.kernelVersion).trimmed();
    lines << QStringLiteral("Mémoire utilisée : ") + QString::number(megabytes) + QStringLiteral(" Mo");
    lines << QStringLiteral("Qt : ") + facts.qtVersion;
    lines << QStringLiteral("libcurl : ") + facts.curlVersion;
    return lines.join(u'\n');
}

} // namespace nvx
