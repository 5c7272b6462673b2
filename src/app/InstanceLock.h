#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace nvx {

// Refuses a second copy of the same instance of the program working in the same application
// folder: one lock file per folder and instance, so that one installed program serves several
// instances side by side. A copy that died leaves a stale lock, which the next start takes over.
class InstanceLock {
public:
    // lockFolder: native folder of the lock files; empty = defaultFolder().
    InstanceLock(const QString& applicationFolder, int instance, const QString& lockFolder = {});
    ~InstanceLock();

    // True when this process holds the lock (now or already).
    bool tryLock();
    QString path() const { return path_; }
    // The process that holds the lock, 0 when none or unknown.
    qint64 ownerPid() const;

    // The user's runtime folder when the session has one, else the system's temporary folder.
    static QString defaultFolder();

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace nvx
