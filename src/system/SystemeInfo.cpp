#include "common/Clock.h"
#include "common/NativePath.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <sys/utsname.h>
#include <unistd.h>

namespace nvx {

namespace {

// PRETTY_NAME of an os-release file, unquoted; empty when the file or the entry is missing.
QString osReleaseName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QStringLiteral("PRETTY_NAME=")))
            continue;
        QString value = line.mid(12).trimmed();
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

QString withTrailingBackslash(const QString& nativeFolder)
{
    QString folder = SuitePath(nativeFolder);
    if (!folder.endsWith(u'\\'))
        folder += u'\\';
    return folder;
}

} // namespace

QString Systeme::TimingMilliSec() const
{
    return clock_.now().toString(QStringLiteral("HH:mm:ss:zzz"));
}

qint64 Systeme::ChronoMilliSec() const
{
    return clock_.ChronoMilliSec();
}

QString Systeme::ComputerName() const
{
    const QString host = QSysInfo::machineHostName();
    const qsizetype dot = host.indexOf(u'.');
    return dot < 0 ? host : host.left(dot);
}

QString Systeme::GetHostName() const
{
    return QSysInfo::machineHostName();
}

qint64 Systeme::GetMemoryUsage() const
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    // Pages: total size, then resident set.
    const QList<QByteArray> fields = statm.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    return fields[1].toLongLong() * (page > 0 ? page : 4096);
}

QString Systeme::GetOSDisplayString() const
{
    QString name = osReleaseName(QStringLiteral("/etc/os-release"));
    if (name.isEmpty())
        name = osReleaseName(QStringLiteral("/usr/lib/os-release"));
    if (name.isEmpty())
        name = QSysInfo::prettyProductName();

    utsname u{};
    QString release, machine;
    if (::uname(&u) == 0) {
        release = QString::fromLocal8Bit(u.release);
        machine = QString::fromLocal8Bit(u.machine);
    }
    if (machine.isEmpty())
        machine = QSysInfo::currentCpuArchitecture();
    const bool wide = machine.contains(QStringLiteral("64")) || machine == u"s390x";
    QString result = name + (wide ? QStringLiteral(", 64-bit") : QStringLiteral(", 32-bit"));

    // "6.1.0-18-amd64" is shown as kernel 6.1.0.
    static const QRegularExpression leadingNumbers(QStringLiteral("^\\d+(\\.\\d+)*"));
    const QString kernel = leadingNumbers.match(release).captured(0);
    if (!kernel.isEmpty())
        result += QStringLiteral(" (kernel ") + kernel + u')';
    return result;
}

int Systeme::GetGMTOffSet() const
{
    return clock_.now().offsetFromUtc() / 60;
}

QString Systeme::GetWinDir() const
{
    return QStringLiteral("C:\\Windows\\");
}

QString Systeme::GetSpecialFolderLocation(int folderId) const
{
    constexpr int kStartup = 7;
    constexpr int kDocuments = 5;
    constexpr int kAppData = 26;
    switch (folderId) {
    case kStartup:
        return withTrailingBackslash(autostartFolder());
    case kDocuments: {
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return withTrailingBackslash(docs.isEmpty() ? QDir::homePath() + QStringLiteral("/Documents") : docs);
    }
    case kAppData: {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        return withTrailingBackslash(config.isEmpty() || !QDir::isAbsolutePath(config)
                                         ? QDir::homePath() + QStringLiteral("/.config")
                                         : config);
    }
    default:
        return withTrailingBackslash(QDir::homePath());
    }
}

} // namespace nvx
