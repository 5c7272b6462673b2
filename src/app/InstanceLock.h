#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace nvx {

// Refuses a second copy of the same program: a lock file whose name is derived from the
// executable's path. A copy that died leaves a stale lock, which the next start takes over.
class InstanceLock {
public:
    // lockFolder: native folder of the lock files (the system's temporary folder by default).
    explicit InstanceLock(const QString& executablePath, const QString& lockFolder = {});
    ~InstanceLock();

    // True when this process holds the lock (now or already).
    bool tryLock();
    QString path() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace nvx
