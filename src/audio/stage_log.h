#pragma once
// The start-up timeline the benchmarks print (bench/audio/first_audio.sh): with the environment
// variable TL_TIMELINE set, markStage() writes one line "stage NAME UNIX_NS" to standard error
// for each stage a play goes through (window shown, address resolved, connected, headers,
// probe done, first decoded frame, first audio handed to the device). UNIX_NS is the wall
// clock in nanoseconds, so a script can set it against the moment it started the process.
// Without the variable a mark costs one load of a cached flag. Any thread; no Qt.

namespace tl::audio {

bool stageLogEnabled();
// `name` is a fixed text without spaces. Lines from several threads never interleave.
void markStage(const char* name);
// As markStage, but only the first time this process reaches `name`: for stages passed on
// every audio callback or frame.
void markStageOnce(const char* name);

} // namespace tl::audio
