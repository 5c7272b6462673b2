#include "app/InstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace nvx {

InstanceLock::InstanceLock(const QString& executablePath, const QString& lockFolder)
{
    const QString canonical = QFileInfo(executablePath).absoluteFilePath();
    const QByteArray hash = QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex();
    const QString folder = lockFolder.isEmpty() ? QDir::tempPath() : lockFolder;
    path_ = folder + QStringLiteral("/vl3-tools-nvx-") + QString::fromLatin1(hash.left(16)) +
            QStringLiteral(".lock");
    lock_ = std::make_unique<QLockFile>(path_);
    lock_->setStaleLockTime(0); // only a dead owner makes the lock stale, never its age
}

InstanceLock::~InstanceLock() = default;

bool InstanceLock::tryLock()
{
    return lock_->isLocked() || lock_->tryLock(0);
}

} // namespace nvx
