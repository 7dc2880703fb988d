#include "audio/stream_state.h"

#include <cctype>

namespace tl::audio::detail {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string trimmedLower(std::string_view v) {
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.front())))
        v.remove_prefix(1);
    while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back())))
        v.remove_suffix(1);
    std::string out(v);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void invokeQuietly(const std::function<void(const std::string&)>& callback,
                   const std::string& text) {
    try {
        callback(text);
    } catch (...) {
    }
}

void setMeta(Stream& s, std::string_view text, uint64_t position) {
    std::shared_ptr<const std::function<void(const std::string&)>> callback;
    std::string copy(text);
    {
        std::lock_guard lock(s.m);
        if (s.meta && *s.meta == copy)
            return;
        s.meta = copy;
        s.metaPos = position;
        callback = s.metaCallback;
    }
    if (callback && *callback)
        invokeQuietly(*callback, copy);
}

void Stream::cancel() {
    {
        std::lock_guard lock(m);
        stop = true;
        if (wakeNetwork)
            wakeNetwork();
    }
    cv.notify_all();
    { std::lock_guard lock(pcmMutex); }
    pcmCv.notify_all();
}

void Stream::fail(ErrorCode code) {
    {
        std::lock_guard lock(m);
        if (phase != Phase::Ready && phase != Phase::Failed) {
            phase = Phase::Failed;
            failure = code;
        }
    }
    cv.notify_all();
}

bool Stream::startExpired() {
    if (abandoned)
        return true;
    if (playing || Clock::now() <= startDeadline)
        return false;
    {
        std::lock_guard lock(m);
        if (phase != Phase::Ready)
            return false;
        abandoned = true;
    }
    cv.notify_all();
    return true;
}

void Stream::announceStatus(const std::string& line) {
    std::lock_guard lock(callbackMutex);
    if (holdStatus) {
        // Bounded as the headers are (redirects start a new count; curl limits those).
        if (heldStatus.size() < 16 * 64)
            heldStatus.push_back(line);
    } else if (options.onStatus) {
        invokeQuietly(options.onStatus, line);
    }
}

void Stream::announceReconnect(bool again) {
    std::lock_guard lock(callbackMutex);
    if (!options.onReconnect)
        return;
    try {
        options.onReconnect(again);
    } catch (...) {
    }
}

void Stream::takeOver(const OpenOptions& owner) {
    std::lock_guard lock(callbackMutex);
    options.onStatus = owner.onStatus;
    options.onReconnect = owner.onReconnect;
    holdStatus = false;
    if (options.onStatus)
        for (const std::string& line : heldStatus)
            invokeQuietly(options.onStatus, line);
    heldStatus.clear();
    heldStatus.shrink_to_fit();
}

bool Stream::onOwnThread() const {
    const auto self = std::this_thread::get_id();
    return self == net.get_id() || self == dec.get_id();
}

void Stream::join() {
    if (net.joinable())
        net.join();
    if (dec.joinable())
        dec.join();
}

void Stream::pushHistory(const int16_t* frames, std::size_t count) {
    std::lock_guard lock(historyMutex);
    for (std::size_t i = 0; i < count; ++i) {
        history[historyPos * 2] = frames[i * 2];
        history[historyPos * 2 + 1] = frames[i * 2 + 1];
        historyPos = (historyPos + 1) % kHistoryFrames;
    }
}

} // namespace tl::audio::detail
