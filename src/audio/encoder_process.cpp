#include "audio/encoder_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tl::audio {

namespace {
using Clock = std::chrono::steady_clock;
// How long a stopping encoder may refuse input before the rest of the queue is given up.
constexpr auto kDrainStall = std::chrono::seconds(2);
} // namespace

std::unique_ptr<EncoderProcess> EncoderProcess::start(const std::vector<std::string>& argv,
                                                      std::span<const uint8_t> header,
                                                      std::size_t queueLimitBytes,
                                                      std::chrono::milliseconds exitGrace) {
    if (argv.empty() || argv.front().empty())
        return nullptr;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // The program ignores SIGPIPE; the encoder gets default dispositions and no blocked signals.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return nullptr;
    }
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);

    std::unique_ptr<EncoderProcess> p(new EncoderProcess());
    p->pid_ = pid;
    p->fd_ = fds[1];
    p->header_.assign(header.begin(), header.end());
    p->limit_ = queueLimitBytes;
    p->exitGrace_ = exitGrace;
    p->worker_ = std::thread([raw = p.get()] { raw->run(); });
    return p;
}

EncoderProcess::~EncoderProcess() {
    stop();
    if (worker_.joinable())
        worker_.join();
}

bool EncoderProcess::push(std::span<const uint8_t> bytes) {
    if (paused_ || stopping_ || inputClosed_ || bytes.empty())
        return false;
    {
        std::lock_guard lock(mutex_);
        if (queued_ + bytes.size() > limit_) {
            dropped_ += bytes.size();
            return false;
        }
        queue_.emplace_back(bytes.begin(), bytes.end());
        queued_ += bytes.size();
    }
    cv_.notify_one();
    return true;
}

void EncoderProcess::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_one();
}

bool EncoderProcess::writeAll(std::span<const uint8_t> bytes) {
    auto lastProgress = Clock::now();
    while (!bytes.empty()) {
        const ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            lastProgress = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false; // EPIPE: the encoder has gone
        if (stopping_ && Clock::now() - lastProgress > kDrainStall)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 100);
        if (p.revents & (POLLERR | POLLHUP))
            return false;
    }
    return true;
}

void EncoderProcess::run() {
    bool ok = writeAll(header_);
    while (ok) {
        std::vector<uint8_t> chunk;
        {
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, std::chrono::milliseconds(200),
                         [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty()) {
                if (stopping_)
                    break;
                // Idle (paused or starved): notice an encoder that has exited meanwhile.
                pollfd p{fd_, POLLOUT, 0};
                if (poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP)))
                    ok = false;
                continue;
            }
            chunk = std::move(queue_.front());
            queue_.pop_front();
            queued_ -= chunk.size();
        }
        ok = writeAll(chunk);
    }
    inputClosed_ = true;
    close(fd_);
    fd_ = -1;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        queued_ = 0;
    }
    reap();
    finished_ = true;
}

void EncoderProcess::reap() {
    const auto start = Clock::now();
    bool terminated = false;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR))
            return;
        const auto waited = Clock::now() - start;
        if (!terminated && waited > exitGrace_) {
            kill(pid_, SIGTERM);
            terminated = true;
        } else if (terminated && waited > exitGrace_ + std::chrono::seconds(1)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace tl::audio
