#include "common/background_task.h"

#include <QMetaObject>

#include <condition_variable>
#include <list>
#include <thread>

namespace tl {

namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable left;
    std::list<std::stop_source> running; // one entry per task that has not returned
};

// Never destroyed: a task that outlives the drain at exit must still find it.
Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

} // namespace

void startBackgroundTask(std::function<void(std::stop_token)> fn, std::stop_source stop) {
    Registry& r = registry();
    std::list<std::stop_source>::iterator entry;
    {
        const std::lock_guard lock(r.mutex);
        entry = r.running.insert(r.running.end(), stop);
    }
    std::thread([&r, entry, fn = std::move(fn), token = stop.get_token()] {
        fn(token);
        const std::lock_guard lock(r.mutex);
        r.running.erase(entry);
        r.left.notify_all();
    }).detach();
}

bool drainBackgroundTasks(std::chrono::milliseconds bound) {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    for (std::stop_source& s : r.running) {
        s.request_stop();
    }
    return r.left.wait_for(lock, bound, [&r] { return r.running.empty(); });
}

int runningBackgroundTasks() {
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    return static_cast<int>(r.running.size());
}

void ReplyGuard::post(std::function<void()> fn) {
    const std::lock_guard lock(mutex_);
    if (owner_ != nullptr) {
        QMetaObject::invokeMethod(owner_, std::move(fn), Qt::QueuedConnection);
    }
}

void ReplyGuard::release() {
    const std::lock_guard lock(mutex_);
    owner_ = nullptr;
}

} // namespace tl
