// The ID3 title of an HLS segment's tag. Checks: the size never goes below a header, the
// title of a tag read in part (as the HLS guard reads a large one) is a prefix-free cut of
// nothing longer than the tag, and no input crashes or reads past its end (ASan).
//
// Input: the tag's bytes.

#include "audio/id3_title.h"

#include "fuzz_support.h"

using tl::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view tag = tl::fuzz::view(data, size);
    const std::size_t tagSize = tl::audio::id3TagSize(tag);
    check(tagSize == 0 || tagSize >= 10, "a tag is at least its header");
    const auto title = tl::audio::id3Title(tag);
    if (title) {
        check(!title->empty(), "no empty title");
        check(tagSize > 0, "a title only from a tag");
    }
    for (const std::size_t cut : {std::size_t{10}, std::size_t{64}, size / 2}) {
        if (cut < size) {
            const auto part = tl::audio::id3Title(tag.substr(0, cut));
            check(!part || !part->empty(), "no empty title from a part");
        }
    }
    return 0;
}
