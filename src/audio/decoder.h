#pragma once
// Internal to the engine: the decoder of a stream.
//
// Threads: decoderMain() is the body of a stream's decoder thread. It owns every FFmpeg
// object of the stream (format context, custom AVIOContext reading the byte ring, codec,
// resampler). It waits for the network thread's headers, probes and opens the stream, sets
// the format and the phase Ready, then decodes, resamples to the output rate, feeds the
// encoders and writes the PCM ring until the data ends or the stream is stopped. MMS
// addresses are opened by FFmpeg itself on this thread (there is no network thread). On its
// way out it sets decoderGone and decoderDone and stops the stream's encoders.

#include "audio/stream_state.h"

namespace tl::audio::detail {

void decoderMain(Stream& s);

} // namespace tl::audio::detail
