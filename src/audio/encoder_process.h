#pragma once
// One external encoder: a child process started from an argument vector (never through a
// shell) whose standard input receives a header and then PCM bytes. A feeding thread owned
// by this object writes the queued bytes to the pipe, reads the child's standard error (the
// last line is kept for the report of a failure), closes the input when asked to stop and
// reaps the child. The destructor stops and joins; it is bounded even for an encoder that never
// reads (the input is given up after a stall, the child is terminated after a grace period).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace tl::audio {

class EncoderProcess {
public:
    // Starts argv[0] (searched on PATH when it has no slash). nullptr when it cannot be started.
    // `exitGrace`: how long the child may take to finish after its input closed before it is
    // terminated.
    static std::unique_ptr<EncoderProcess>
    start(const std::vector<std::string>& argv, std::span<const uint8_t> header,
          std::size_t queueLimitBytes,
          std::chrono::milliseconds exitGrace = std::chrono::milliseconds(5000));
    ~EncoderProcess();
    EncoderProcess(const EncoderProcess&) = delete;
    EncoderProcess& operator=(const EncoderProcess&) = delete;

    // Queues bytes without blocking. Returns false when they were not queued: paused,
    // stopped, the encoder has gone, or the queue is full (then dropped() counts them).
    bool push(std::span<const uint8_t> bytes);
    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }
    // No more input: the thread writes what is queued, closes the pipe and reaps the child.
    void stop();
    bool active() const { return !stopping_ && !inputClosed_; }
    bool finished() const { return finished_; }
    // How the child ended; meaningful once finished(). `early`: it exited (or its input
    // failed) before stop() was asked, so its file lacks the rest of the input.
    struct Exit {
        bool early = false;
        int signal = 0;       // the signal that ended it, 0 for a normal exit
        int status = 0;       // exit status of a normal exit
        std::string lastLine; // last complete line it wrote to its standard error
    };
    Exit exitInfo() const;
    uint64_t droppedBytes() const { return dropped_; }
    pid_t pid() const { return pid_; }

private:
    EncoderProcess() = default;
    void run();
    bool writeAll(std::span<const uint8_t> bytes);
    void reap();
    void drainErrors(); // reads what the child wrote to stderr, without blocking

    pid_t pid_ = -1;
    int fd_ = -1;
    int errFd_ = -1;         // the child's stderr (read end, non-blocking)
    std::string errPending_; // the line being received; feeding thread only
    std::vector<uint8_t> header_;
    std::size_t limit_ = 0;
    std::chrono::milliseconds exitGrace_{5000};

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::vector<uint8_t>> queue_; // guarded by mutex_
    std::size_t queued_ = 0;                 // guarded by mutex_

    std::atomic<bool> stopping_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> inputClosed_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> dropped_{0};
    mutable std::mutex exitMutex_;
    Exit exit_; // guarded by exitMutex_
    std::thread worker_;
};

} // namespace tl::audio
