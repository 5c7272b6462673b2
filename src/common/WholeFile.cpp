#include "common/WholeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nvx {

namespace {

QString systemError(const char* step)
{
    return QString::fromLatin1(step) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

bool running(qint64 pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return pid == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

mode_t modeOf(QFileDevice::Permissions p)
{
    mode_t m = 0;
    const std::pair<QFileDevice::Permission, mode_t> bits[] = {
        {QFileDevice::ReadOwner, S_IRUSR},  {QFileDevice::WriteOwner, S_IWUSR},
        {QFileDevice::ExeOwner, S_IXUSR},   {QFileDevice::ReadGroup, S_IRGRP},
        {QFileDevice::WriteGroup, S_IWGRP}, {QFileDevice::ExeGroup, S_IXGRP},
        {QFileDevice::ReadOther, S_IROTH},  {QFileDevice::WriteOther, S_IWOTH},
        {QFileDevice::ExeOther, S_IXOTH}};
    for (const auto& [flag, bit] : bits)
        if (p.testFlag(flag))
            m |= bit;
    return m;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

void removeDeadWritersParts(const QString& path)
{
    const QFileInfo target(path);
    const QRegularExpression part(QStringLiteral("^") + QRegularExpression::escape(target.fileName()) +
                                  QStringLiteral("\\.(\\d+)\\.part$"));
    const QDir folder = target.absoluteDir();
    const QStringList candidates =
        folder.entryList({target.fileName() + QStringLiteral(".*.part")}, QDir::Files);
    for (const QString& name : candidates) {
        const QRegularExpressionMatch m = part.match(name);
        if (m.hasMatch() && !running(m.captured(1).toLongLong()))
            QFile::remove(folder.filePath(name));
    }
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error,
                    QFileDevice::Permissions newFileMode)
{
    // Through a link, the file it points to is replaced, not the link.
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.symLinkTarget() : info.absoluteFilePath();
    removeDeadWritersParts(target);

    // A new file without a mode of its own gets the usual one, the umask applied.
    mode_t mode = 0666;
    bool keepMode = true;
    struct stat existing {};
    if (::stat(QFile::encodeName(target).constData(), &existing) == 0)
        mode = existing.st_mode & 07777;
    else if (newFileMode != QFileDevice::Permissions{})
        mode = modeOf(newFileMode);
    else
        keepMode = false;
    const QByteArray part =
        QFile::encodeName(target + u'.' + QString::number(::getpid()) + QStringLiteral(".part"));
    QString failure;
    const int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        failure = systemError("open");
    } else {
        // The mode is set again whatever the umask: a private file is never readable by others.
        if ((keepMode && ::fchmod(fd, mode) != 0) || !writeAll(fd, bytes))
            failure = systemError("write");
        else if (::fsync(fd) != 0)
            failure = systemError("fsync");
        if (::close(fd) != 0 && failure.isEmpty())
            failure = systemError("close");
        if (failure.isEmpty() && ::rename(part.constData(), QFile::encodeName(target).constData()) != 0)
            failure = systemError("rename");
    }
    if (failure.isEmpty())
        return true;
    ::unlink(part.constData());
    if (error)
        *error = failure;
    return false;
}

} // namespace nvx
