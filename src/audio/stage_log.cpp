#include "audio/stage_log.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <string>

namespace tl::audio {

namespace {

struct StageLog {
    bool enabled = std::getenv("TL_TIMELINE") != nullptr;
    std::mutex mutex;
    std::set<std::string, std::less<>> seen;
};

StageLog& stageLog() {
    static StageLog log;
    return log;
}

} // namespace

bool stageLogEnabled() {
    return stageLog().enabled;
}

void markStage(const char* name) {
    StageLog& log = stageLog();
    if (!log.enabled) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    // One fprintf per line: stdio locks the stream, so lines of two threads stay whole.
    std::fprintf(stderr, "stage %s %lld\n", name, ns);
}

void markStageOnce(const char* name) {
    StageLog& log = stageLog();
    if (!log.enabled) {
        return;
    }
    {
        std::lock_guard lock(log.mutex);
        if (!log.seen.emplace(name).second) {
            return;
        }
    }
    markStage(name);
}

} // namespace tl::audio
