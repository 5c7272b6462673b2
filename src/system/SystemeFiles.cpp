#include "common/Clock.h"
#include "common/ErrorTrap.h"
#include "common/NativePath.h"
#include "common/PathText.h"
#include "common/Reporter.h"
#include "system/Systeme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nvx {

namespace {

bool hasWildcard(const QString& name)
{
    return name.contains(u'*') || name.contains(u'?');
}

// "*" and "?" as the directory search reads them; every other character is literal
// (a "[" in a song title is not a character class) and case does not matter.
QRegularExpression wildcardPattern(QString pattern)
{
    if (pattern == u"*.*")
        pattern = QStringLiteral("*"); // the classic "every file", dotted or not
    QString expression;
    for (const QChar c : pattern) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption);
}

// Native paths of what a directory search for the path finds: the path itself, or with
// wildcards in its last component every entry of its folder that matches them.
QStringList findEntries(const QString& suitePath)
{
    const QString native = NativePath(suitePath);
    const qsizetype slash = native.lastIndexOf(u'/');
    const QString name = native.mid(slash + 1);
    if (!hasWildcard(name))
        return QFileInfo::exists(native) ? QStringList{native} : QStringList{};
    const QString folder = slash < 0 ? QStringLiteral(".") : native.left(slash + 1);
    if (hasWildcard(folder))
        return {};
    const QRegularExpression pattern = wildcardPattern(name);
    QStringList found;
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (pattern.match(entry).hasMatch())
            found.append(QDir(folder).filePath(entry));
    }
    return found;
}

QByteArray encoded(const QString& nativePath)
{
    return QFile::encodeName(nativePath);
}

// The result code the shell file operations give for a system error.
int shellCode(int error)
{
    switch (error) {
    case EBUSY:
    case ETXTBSY:
        return 32;
    case ENOMEM:
        return 14;
    case EACCES:
    case EPERM:
        return 5;
    case ENOSPC:
    case EDQUOT:
        return 112;
    case EROFS:
        return 19;
    default:
        return 1627;
    }
}

bool isFolder(const QString& nativePath)
{
    return QFileInfo(nativePath).isDir();
}

// Copies one file through a temporary file in the target's folder, renamed into place only
// once it is complete: a failed copy never leaves a partial target, and an existing target is
// replaced whole. Times and permission bits follow the source, as a copy on the suite's system
// keeps them. Returns the shell result code.
int copyOne(const QString& source, const QString& target)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (!isFolder(folder) && !QDir().mkpath(folder))
        return 53;

    const int in = ::open(encoded(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return isFolder(QFileInfo(source).absolutePath()) ? 1026 : 53;
        return shellCode(error);
    }
    struct stat info {};
    if (::fstat(in, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(in);
        return shellCode(error);
    }

    QByteArray temporary = encoded(folder + u"/." + QFileInfo(target).fileName() + u".XXXXXX");
    const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error == ENOENT || error == ENOTDIR ? 53 : shellCode(error);
    }

    int error = 0;
    std::vector<char> buffer(1 << 18);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0)
            break;
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno != EINTR)
                error = errno;
            else if (put > 0)
                done += put;
        }
        if (error != 0)
            break;
    }
    ::close(in);

    int code = error != 0 ? shellCode(error) : 0;
    if (code == 0) {
        // Best effort: some file systems keep neither mode bits nor times.
        (void)::fchmod(out, info.st_mode & 07777);
        const timespec times[2] = {info.st_atim, info.st_mtim};
        (void)::futimens(out, times);
        if (::fsync(out) != 0 && errno != EINVAL && errno != EROFS)
            code = shellCode(errno);
    }
    if (::close(out) != 0 && code == 0)
        code = shellCode(errno);
    // The source went away while it was being copied: the copy may not be what it was.
    struct stat still {};
    if (code == 0 && ::lstat(encoded(source).constData(), &still) != 0 && errno == ENOENT)
        code = 1026;
    if (code == 0 && ::rename(temporary.constData(), encoded(target).constData()) != 0)
        code = errno == ENOENT || errno == ENOTDIR ? 53 : shellCode(errno);
    if (code != 0)
        ::unlink(temporary.constData());
    return code;
}

// Removes a file, or a folder with everything it holds. Returns 0 or the first system error.
int removeEntry(const QString& nativePath)
{
    const QByteArray name = encoded(nativePath);
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ::unlink(name.constData()) == 0 ? 0 : errno;
    // Entries are examined with lstat, so a link is removed itself and never walked into.
    const QDir folder(nativePath);
    const QStringList entries =
        folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (const int error = removeEntry(folder.filePath(entry)); error != 0 && error != ENOENT)
            return error;
    }
    return ::rmdir(name.constData()) == 0 ? 0 : errno;
}

} // namespace

bool Systeme::File_Exist(const QString& path, const QString& caller, bool requireNonEmpty)
{
    bool found = false;
    trap(reporter_, QStringLiteral("Lib_Systeme:File_Exist>") + caller, [&] {
        const QString untouched = path.trimmed();
        if (untouched.isEmpty())
            return;
        // Names typed with a blank before the extension ("titre .wav") are stored without it.
        QString cleaned = untouched;
        if (cleaned.contains(u' ')) {
            while (cleaned.contains(QStringLiteral(" .")))
                cleaned.replace(QStringLiteral(" ."), QStringLiteral("."));
        }
        const auto present = [&](const QString& candidate) {
            const QStringList entries = findEntries(candidate);
            if (entries.isEmpty())
                return false;
            if (!requireNonEmpty)
                return true;
            const QString sized = hasWildcard(candidate) ? SuitePath(entries.first()) : candidate;
            return TailleDuFichier(sized) > 0;
        };
        found = present(cleaned) || (cleaned != untouched && present(untouched));
    });
    return found;
}

qint64 Systeme::TailleDuFichier(const QString& path)
{
    qint64 size = 0;
    trap(reporter_, QStringLiteral("Lib_Systeme:TailleDuFichier"), [&] {
        const qint64 start = clock_.ChronoMilliSec();
        const QFileInfo info(NativePath(path));
        if (info.isFile())
            size = info.size();
        // A slow answer points at a struggling disk or network share; it is worth a line.
        const qint64 elapsed = clock_.ChronoMilliSec() - start;
        if (elapsed >= 1000) {
            reporter_.trace(QStringLiteral("Lib_SystemeFunction TailleDuFichier Duration: ") +
                            QString::number(elapsed) + QStringLiteral(" ms (File: ") + path + u')');
        }
    });
    return size;
}

bool Systeme::File_Copy(const QString& source, const QString& target, int extraFlags,
                        const QString& progressTitle)
{
    // The shell's flags and progress title have no meaning for this copy: it never asks.
    Q_UNUSED(extraFlags);
    Q_UNUSED(progressTitle);
    bool copied = false;
    trap(reporter_, QStringLiteral("Lib_Systeme:File_Copy"), [&] {
        if (source.trimmed().isEmpty()) {
            reporter_.trace(QStringLiteral("Warning: File_Copy: File name null"));
            return;
        }
        if (!File_Exist(source, QStringLiteral("File_Copy"))) {
            reporter_.trace(QStringLiteral("Warning: File_Copy: File not found: ") + source);
            return;
        }
        const qint64 start = clock_.ChronoMilliSec();
        int code = 0;
        const QStringList sources = findEntries(source.trimmed());
        const QString nativeTarget = NativePath(target);
        // A target that is a folder (or names one with its trailing "\") receives the files under
        // their own names, as does any target of a wildcard source.
        const bool intoFolder = target.endsWith(u'\\') || target.endsWith(u'/') || isFolder(nativeTarget) ||
                                sources.size() > 1 || hasWildcard(source);
        if (sources.isEmpty())
            code = 1026; // found only under its cleaned name, which the copy does not use
        else if (target.trimmed().isEmpty())
            code = 1627;
        for (const QString& one : sources) {
            if (code != 0)
                break;
            const QString name = QFileInfo(one).fileName();
            const QString destination = intoFolder ? NativePath(CheckRep(target) + name) : nativeTarget;
            code = copyOne(one, destination);
        }
        const qint64 duration = clock_.ChronoMilliSec() - start;

        if (code != 0) {
            QString text;
            switch (code) {
            case 53:
                text = QStringLiteral(" |Folder not found. Source: ");
                break;
            case 32:
                text = QStringLiteral(" |File in use. Source: ");
                break;
            case 1026:
                text = QStringLiteral(" |Source file missing. Source: ");
                break;
            case 14:
                text = QStringLiteral(" |Out of memory. Source: ");
                break;
            default:
                text = QStringLiteral(" |Source: ");
            }
            reporter_.trace(QStringLiteral("File_Copy: Err: ") + QString::number(code) + text + source +
                            QStringLiteral("  Target: ") + target);
            return;
        }
        reporter_.trace(QStringLiteral("File_Copy: ") + QString::number(duration) +
                        QStringLiteral(" |Duration: ") + QString::number(duration) +
                        QStringLiteral(" ms |File: ") + source);
        const QString trimmedTarget = target.trimmed();
        if (trimmedTarget.size() >= 2 && trimmedTarget[1] == u':' && trimmedTarget[0].isLetter()) {
            const QChar drive = trimmedTarget[0];
            reporter_.trace(QStringLiteral("Free space for ") + drive + QStringLiteral(": ") +
                            LibSize(EspaceLibreDisque(drive + QStringLiteral(":\\"))));
        }
        copied = true;
    });
    return copied;
}

bool Systeme::File_Delete(const QString& path, const QString& caller)
{
    bool deleted = false;
    trap(reporter_, QStringLiteral("Lib_Systeme:File_Delete>") + caller, [&] {
        if (path.trimmed().isEmpty()) {
            reporter_.trace(QStringLiteral("Warning: File_Delete: File name null"));
            return;
        }
        int error = 0;
        const QStringList entries = findEntries(path);
        if (entries.isEmpty())
            error = ENOENT;
        for (const QString& entry : entries) {
            error = removeEntry(entry);
            if (error != 0)
                break;
        }
        if (error == 0) {
            deleted = true;
            return;
        }

        int code = 0;
        QString prefix = QStringLiteral("File_Delete: Err: ");
        QString text;
        if (error == ENOENT || error == ENOTDIR) {
            code = 2;
            prefix = QStringLiteral("File_Delete: Warning: ");
            text = QStringLiteral(" |File not found: ");
        } else if (error == EBUSY || error == ETXTBSY) {
            code = 32;
            prefix = QStringLiteral("File_Delete: Warning: ");
            text = QStringLiteral(" |File in use: ");
        } else if (error == ENOMEM) {
            code = 14;
            text = QStringLiteral(" |Out of memory. File: ");
        } else {
            code = shellCode(error);
            text = QStringLiteral(" |");
        }
        reporter_.trace(prefix + QString::number(code) + text + path + QStringLiteral(" |Sub: ") + caller);
        // Out of memory leaves the process unreliable: start afresh.
        if (code == 14 && restartApplication_)
            restartApplication_();
    });
    return deleted;
}

void Systeme::File_RemoveFlag(const QString& path)
{
    trap(reporter_, QStringLiteral("Lib_Systeme:File_RemoveFlag"), [&] {
        const QString native = NativePath(path.trimmed());
        const QFileInfo info(native);
        if (path.trimmed().isEmpty() || !info.exists()) {
            reporter_.trace(QStringLiteral("Warning: File_RemoveFlag: File not found: ") + path);
            return;
        }
        // Read-only on the suite's system is the missing owner write permission here.
        if (!QFile::setPermissions(native, info.permissions() | QFileDevice::WriteOwner))
            Raise(75, QStringLiteral("Path/File access error"), path);
    });
}

QDateTime Systeme::DateModificationFichier(const QString& dossierLocal, const QString& path, bool accessTime)
{
    QDateTime date;
    DerniereTailleFichier = 0;
    QString copy;
    trap(reporter_, QStringLiteral("Lib_Public:DateModificationFichier"), [&] {
        if (path.trimmed().isEmpty())
            return;
        const QString native = NativePath(path);
        if (!QFileInfo::exists(native))
            return;
        QString readFrom = path;
        QFile probe(native);
        // A file held by another program is read through a private copy when there is a local
        // folder for it; the copy keeps the original's times.
        if (!probe.open(QIODevice::ReadWrite | QIODevice::ExistingOnly) &&
            !dossierLocal.trimmed().isEmpty()) {
            const QString candidate = CheckRep(dossierLocal) + QStringLiteral("File.tmp");
            if (File_Copy(path, candidate)) {
                copy = candidate;
                File_RemoveFlag(copy);
                readFrom = copy;
            }
        }
        probe.close();
        const QFileInfo info(NativePath(readFrom));
        if (!info.exists())
            return;
        const QDateTime stamp = accessTime ? info.lastRead() : info.lastModified();
        DerniereTailleFichier = quint32(quint64(info.size()) & 0xFFFFFFFFu);
        // Whole seconds, as the date and time texts the suite compares them with.
        date = stamp.addMSecs(-stamp.time().msec());
    });
    if (!copy.isEmpty())
        File_Delete(copy, QStringLiteral("DateModificationFichier"));
    return date;
}

} // namespace nvx
