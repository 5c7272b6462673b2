#include "app/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace nvx {

InstanceLock::InstanceLock(const QString& applicationFolder, int instance, const QString& lockFolder)
{
    const QString canonical = QDir(applicationFolder).absolutePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    const QString folder = lockFolder.isEmpty() ? defaultFolder() : lockFolder;
    path_ = folder + QStringLiteral("/vl3-tools-nvx-") + QString::fromLatin1(hash.left(16)) + u'-' +
            QString::number(instance) + QStringLiteral(".lock");
    lock_ = std::make_unique<QLockFile>(path_);
    lock_->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock()
{
    return lock_->isLocked() || lock_->tryLock(0);
}

qint64 InstanceLock::ownerPid() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    return lock_->getLockInfo(&pid, &host, &application) ? pid : 0;
}

QString InstanceLock::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return runtime;
    return QDir::tempPath();
}

} // namespace nvx
