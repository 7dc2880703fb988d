#pragma once
// Work the UI thread starts and never waits for: a download, a name lookup, a click counter.
//
// Each task runs on a thread of its own that its starter does not join. The starter cancels a
// task by its stop source and lets it finish by itself; a name lookup cannot be interrupted, so
// a cancelled task may still run for a while. All tasks belong to one process-wide registry
// that the program's exit drains with a short bound (drainBackgroundTasks), so every thread
// has an owner that joins it, and quitting never waits for the network longer than that bound.
//
// A task reports to its starter only through a ReplyGuard: it posts a copy of its result to the
// starter's thread while the starter lives, and drops it once the starter has gone.

#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

namespace tl {

// Starts fn(stop) on a new thread owned by the registry. Thread-safe.
void startBackgroundTask(std::function<void(std::stop_token)> fn, std::stop_source stop = {});

// Asks every running task to stop and waits for at most `bound` for all of them to leave.
// True when none is left. Called at exit on the UI thread.
bool drainBackgroundTasks(std::chrono::milliseconds bound);

// Tasks that have not returned yet (tests and the exit log).
int runningBackgroundTasks();

// The link from a worker back to the object that started it. The owner creates one, hands a
// shared pointer to each task and calls release() in its destructor.
class ReplyGuard {
public:
    explicit ReplyGuard(QObject* owner) : owner_(owner) {}

    // Any thread: runs fn on the owner's thread (queued) unless the owner has released this
    // guard. Posts that are still queued when the owner is destroyed are dropped by Qt.
    void post(std::function<void()> fn);
    // The owner's thread, in the owner's destructor: later posts are dropped.
    void release();

private:
    std::mutex mutex_;
    QObject* owner_;
};

} // namespace tl
