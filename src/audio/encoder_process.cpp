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
constexpr std::size_t kMaxErrorLine = 400; // bytes kept of one stderr line
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
    int errs[2];
    if (pipe2(errs, O_CLOEXEC) != 0) {
        close(fds[0]);
        close(fds[1]);
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errs[1], 2);
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
    close(errs[1]);
    if (rc != 0) {
        close(fds[1]);
        close(errs[0]);
        return nullptr;
    }
    fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK);
    fcntl(errs[0], F_SETFL, fcntl(errs[0], F_GETFL) | O_NONBLOCK);

    std::unique_ptr<EncoderProcess> p(new EncoderProcess());
    p->pid_ = pid;
    p->fd_ = fds[1];
    p->errFd_ = errs[0];
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
        // An encoder blocked on a full stderr pipe would never read its input again.
        pollfd p[2] = {{fd_, POLLOUT, 0}, {errFd_, POLLIN, 0}};
        poll(p, 2, 100);
        drainErrors();
        if (p[0].revents & (POLLERR | POLLHUP))
            return false;
    }
    return true;
}

void EncoderProcess::drainErrors() {
    if (errFd_ < 0)
        return;
    char buf[4096];
    for (;;) {
        const ssize_t n = read(errFd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0) { // the child has closed it
                close(errFd_);
                errFd_ = -1;
            }
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n') {
                // Progress reports overwrite themselves with "\r": keep the last part.
                const std::size_t cr = errPending_.rfind('\r');
                std::string line =
                    cr == std::string::npos ? errPending_ : errPending_.substr(cr + 1);
                while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
                    line.pop_back();
                const std::size_t first = line.find_first_not_of(" \t");
                if (first != std::string::npos) {
                    std::lock_guard lock(exitMutex_);
                    exit_.lastLine = line.substr(first);
                }
                errPending_.clear();
            } else if (c == '\r') {
                errPending_.clear();
            } else if (errPending_.size() < kMaxErrorLine) {
                errPending_ += c;
            }
        }
    }
}

EncoderProcess::Exit EncoderProcess::exitInfo() const {
    std::lock_guard lock(exitMutex_);
    return exit_;
}

void EncoderProcess::run() {
    bool ok = writeAll(header_);
    while (ok) {
        drainErrors();
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
    const bool early = !ok && !stopping_;
    inputClosed_ = true;
    close(fd_);
    fd_ = -1;
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        queued_ = 0;
    }
    reap();
    // The child is gone: what it wrote last is in the pipe (unless a descendant keeps it open).
    for (int i = 0; i < 10 && errFd_ >= 0; ++i) {
        pollfd p{errFd_, POLLIN, 0};
        poll(&p, 1, 20);
        drainErrors();
    }
    if (errFd_ >= 0) {
        close(errFd_);
        errFd_ = -1;
    }
    {
        std::lock_guard lock(exitMutex_);
        exit_.early = early;
    }
    finished_ = true;
}

void EncoderProcess::reap() {
    const auto start = Clock::now();
    bool terminated = false;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            std::lock_guard lock(exitMutex_);
            exit_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            exit_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
            return;
        }
        if (r < 0 && errno != EINTR)
            return;
        const auto waited = Clock::now() - start;
        if (!terminated && waited > exitGrace_) {
            kill(pid_, SIGTERM);
            terminated = true;
        } else if (terminated && waited > exitGrace_ + std::chrono::seconds(1)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            std::lock_guard lock(exitMutex_);
            exit_.signal = SIGKILL;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace tl::audio
