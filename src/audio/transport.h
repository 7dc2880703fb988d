#pragma once
// Internal to the engine: the network transport of HTTP and HTTPS streams.
//
// Threads: networkMain() is the body of a stream's network thread. It owns the libcurl
// handles, the ICY demultiplexer and the stall clock; it writes the reply headers, the byte
// ring and the ICY metadata under the stream's mutex and announces each change on its
// condition variable. It ends when the transfer ends, fails, stalls, or the stream is
// stopped, abandoned or has no decoder left, and then sets netDone.

#include "audio/stream_state.h"

namespace tl::audio::detail {

void networkMain(Stream& s);

} // namespace tl::audio::detail
