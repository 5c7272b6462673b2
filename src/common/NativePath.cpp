#include "common/NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstring>
#include <dirent.h>

namespace nvx {

namespace {

QString& configuredDriveRoot()
{
    static QString root; // the one process-wide setting of this converter
    return root;
}

// The entry of dir whose name matches part case-insensitively; the lowest of several such
// names, so that the answer does not depend on the order the folder lists them in. Empty when
// none matches. Names only are read (no status of each entry), which keeps the search cheap
// in a folder of many files.
QString matchingEntry(const QString& dir, const QString& part)
{
    QString best;
    DIR* d = ::opendir(QFile::encodeName(dir).constData());
    if (!d)
        return best;
    while (const dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        const QString name = QFile::decodeName(e->d_name);
        if (name.compare(part, Qt::CaseInsensitive) == 0 && (best.isEmpty() || name < best))
            best = name;
    }
    ::closedir(d);
    return best;
}

bool plainComponent(const QString& part)
{
    return !part.isEmpty() && part != u"." && part != u"..";
}

// Walks the components below base, matching each case-insensitively when it does not exist
// as written.
QString resolveCase(const QString& path)
{
    if (path.isEmpty() || QFileInfo::exists(path))
        return path;
    // Most often only the last component is missing (a file about to be written): its folder
    // is the only one to search.
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash >= 0) {
        const QString parent = slash == 0 ? QStringLiteral("/") : path.left(slash);
        const QString last = path.mid(slash + 1);
        if (QFileInfo::exists(parent)) {
            if (!plainComponent(last))
                return path;
            const QString found = matchingEntry(parent, last);
            return found.isEmpty() ? path : path.left(slash + 1) + found;
        }
    }
    const bool absolute = path.startsWith(u'/');
    const QStringList parts = path.split(u'/', Qt::KeepEmptyParts);
    QString current = absolute ? QStringLiteral("/") : QString();
    bool matching = true;
    for (qsizetype i = absolute ? 1 : 0; i < parts.size(); ++i) {
        QString part = parts[i];
        if (matching && plainComponent(part) && !QFileInfo::exists(current + part)) {
            const QString found = matchingEntry(current.isEmpty() ? QStringLiteral(".") : current, part);
            if (found.isEmpty())
                matching = false;
            else
                part = found;
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
