#pragma once
// Joins a reconnection's audio to what the stream already received. Servers that relay the
// same bytes (Icecast, SHOUTcast and most relays) start each new listener with a burst of
// audio already sent; that overlap is found byte for byte against the tail of the old
// connections and cut before the decoder (and so the recorder) sees it. A new connection
// whose first frames match nothing of the tail is passed on whole: nothing is dropped
// unless it is a repeat of bytes already passed on.
//
// Pure and single-threaded (the network thread owns it). Bytes are ICY-free audio.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace tl::audio {

class SeamTrimmer {
public:
    // Receives the bytes that go on to the decoder; false stops the feed (stream stopped).
    using Sink = std::function<bool(std::span<const uint8_t>)>;

    // history: how much of what was passed on is kept to match against (more than a
    // server's burst: 64 KiB by default for Icecast).
    explicit SeamTrimmer(std::size_t history = 160 * 1024);

    // A new connection's audio follows. What an unfinished seam still held goes out first.
    bool beginSeam(const Sink& out);
    // Audio of the current connection.
    bool feed(std::span<const uint8_t> bytes, const Sink& out);
    // The connection ended: bytes held for a decision go out as they are.
    bool flush(const Sink& out);

    // The last seam, once decided: bytes cut (0 when nothing overlapped) and whether it is
    // decided at all. A seam is decided once the overlap has been passed in full, or found
    // to be none.
    struct Seam {
        bool decided = false;
        std::size_t cutBytes = 0;
        std::size_t seams = 0; // seams begun so far
    };
    const Seam& lastSeam() const { return seam_; }

    // First bytes of a new connection looked at before deciding: the first frame header
    // within kSyncSearch bytes, and kKey bytes from it.
    static constexpr std::size_t kSyncSearch = 4096;
    static constexpr std::size_t kKey = 2048;
    // Places of the tail the key is tried at (repeated frames of silence match many): the
    // longest overlaps first.
    static constexpr std::size_t kMaxCandidates = 32;
    // Fewer bytes than this from a connection that ends are not matched at all.
    static constexpr std::size_t kMinKey = 64;

private:
    enum class State { Passing, Collecting, Dropping };
    bool pass(std::span<const uint8_t> bytes, const Sink& out);
    void remember(std::span<const uint8_t> bytes);
    bool decide(bool final, const Sink& out);
    void finish(std::size_t cut);

    std::size_t capacity_;
    std::vector<uint8_t> history_; // the last bytes passed on, oldest first
    State state_ = State::Passing;
    std::vector<uint8_t> held_; // a new connection's first bytes, while Collecting
    std::size_t matchPos_ = 0;  // while Dropping: the history byte the next one must equal
    std::size_t dropped_ = 0;   // while Dropping: bytes cut so far
    Seam seam_;
};

} // namespace tl::audio
