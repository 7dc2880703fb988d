#pragma once
// Single-instance guard: an exclusive flock on a lock file named after the program's event
// ("TUNELARK_CHECKEXIST") in the user's runtime folder. The kernel drops the lock when the
// process ends, also after a crash, so a later start always succeeds.
//
// In the shared /tmp (no runtime folder) the file name carries the user id, so users do not
// meet each other's files. The file is opened without following a symbolic link and must be a
// regular file of this user; when it cannot be opened or is not ours the program runs without
// the guard (reason() says why) rather than refusing every start.

#include <QString>

namespace tl {

class InstanceLock {
public:
    enum class State {
        Acquired,       // this process holds the lock
        AlreadyRunning, // another process holds it
        Unavailable,    // no lock could be taken; see reason()
    };

    // folder: where the lock file lives; empty = $XDG_RUNTIME_DIR, else /tmp.
    explicit InstanceLock(const QString& name, const QString& folder = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    State state() const { return state_; }
    // True when this process holds the lock (no other instance runs).
    bool acquired() const { return state_ == State::Acquired; }
    bool anotherInstanceRuns() const { return state_ == State::AlreadyRunning; }
    QString path() const { return path_; }
    QString reason() const { return reason_; }

private:
    QString path_;
    QString reason_;
    State state_ = State::Unavailable;
    int fd_ = -1;
};

} // namespace tl
