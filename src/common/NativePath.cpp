#include "common/NativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace nvx {

namespace {

QString& configuredDriveRoot()
{
    static QString root; // the one process-wide setting of this converter
    return root;
}

// Walks the components below base, matching each case-insensitively when it does not exist
// as written.
QString resolveCase(const QString& path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    const bool absolute = path.startsWith(u'/');
    const QStringList parts = path.split(u'/', Qt::KeepEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    bool matching = true;
    for (qsizetype i = absolute ? 1 : 0; i < parts.size(); ++i) {
        QString part = parts[i];
        if (matching && !part.isEmpty() && part != u"." && part != u"..") {
            const QString dir = current.isEmpty() ? QStringLiteral(".") : current;
            if (!QFileInfo::exists(current + part)) {
                const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden |
                                                                QDir::System | QDir::NoDotAndDotDot);
                bool found = false;
                for (const QString& e : entries) {
                    if (e.compare(part, Qt::CaseInsensitive) == 0) {
                        part = e;
                        found = true;
                        break;
                    }
                }
                if (!found)
                    matching = false;
            }
        }
        current += part;
        if (i + 1 < parts.size())
            current += u'/';
    }
    return current;
}

} // namespace

void setDriveRoot(const QString& nativeDir)
{
    configuredDriveRoot() = nativeDir;
}

QString driveRoot()
{
    QString root = configuredDriveRoot();
    if (root.isEmpty())
        root = qEnvironmentVariable("VL3_DRIVE_ROOT");
    if (root.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty())
            data = QDir::homePath() + QStringLiteral("/.local/share");
        root = data + QStringLiteral("/velmora/drives");
    }
    while (root.size() > 1 && root.endsWith(u'/'))
        root.chop(1);
    return root;
}

QString NativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path;
#else
    if (path.isEmpty())
        return path;
    QString p = path;
    p.replace(u'\\', u'/');
    if (p.size() >= 2 && p[1] == u':' && p[0].isLetter()) {
        const QString rest = p.mid(2);
        p = driveRoot() + u'/' + p[0].toLower() +
            (rest.startsWith(u'/') || rest.isEmpty() ? rest : u'/' + rest);
    } else if (p.startsWith(QStringLiteral("//"))) {
        p = driveRoot() + QStringLiteral("/unc/") + p.mid(2);
    }
    return resolveCase(p);
#endif
}

QString SuitePath(const QString& nativePath)
{
#ifdef Q_OS_WIN
    return nativePath;
#else
    QString p = nativePath;
    p.replace(u'/', u'\\');
    return p;
#endif
}

} // namespace nvx
