#pragma once
// Single-instance guard: an exclusive flock on a lock file named after the program's event
// ("TUNELARK_CHECKEXIST") in the user's runtime folder. The kernel drops the lock when the
// process ends, also after a crash, so a later start always succeeds.

#include <QString>

namespace tl {

class InstanceLock {
public:
    // folder: where the lock file lives; empty = $XDG_RUNTIME_DIR, else /tmp.
    explicit InstanceLock(const QString& name, const QString& folder = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this process holds the lock (no other instance runs).
    bool acquired() const { return fd_ >= 0; }
    QString path() const { return path_; }

private:
    QString path_;
    int fd_ = -1;
};

} // namespace tl
