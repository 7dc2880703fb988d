// The wildcard match. Checks: validity agrees with matching; a mask without wildcards matches
// exactly the texts equal to it (ASCII case aside); "*" + mask + "*" matches whatever the mask
// matches; the work is linear in the text (counted in steps, not timed).
//
// Input: "mask NUL text", or a text matched against itself as a mask.

#include "common/wildcard.h"

#include "common/text.h"

#include "fuzz_support.h"

using tl::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw = tl::fuzz::view(data, size);
    const std::size_t nul = raw.find('\0');
    const QString mask = tl::decodeNetworkText(raw.substr(0, nul));
    const QString text =
        nul == std::string_view::npos ? mask : tl::decodeNetworkText(raw.substr(nul + 1));

    std::size_t steps = 0;
    const std::optional<bool> result = tl::wildcardMatch(text, mask, &steps);
    check(result.has_value() == tl::isValidWildcardMask(mask), "validity agrees with matching");
    if (!result) {
        return 0;
    }
    // Linear: every text character costs at most one pass over each 64-token word of the
    // mask, plus one pass over the mask per distinct character met.
    const std::size_t n = static_cast<std::size_t>(text.size());
    const std::size_t m = static_cast<std::size_t>(mask.size());
    check(steps <= 66 * (n + m + 1) * (1 + m / 64), "linear time");

    const bool plain = !mask.contains(u'[') && !mask.contains(u'?') && !mask.contains(u'*');
    if (plain) {
        const auto asciiLower = [](QString s) {
            for (QChar& c : s) {
                if (c >= u'A' && c <= u'Z') {
                    c = QChar(static_cast<char16_t>(c.unicode() + 32));
                }
            }
            return s;
        };
        check(*result == (asciiLower(text) == asciiLower(mask)),
              "a plain mask matches the texts equal to it but for ASCII case");
        if (*result) {
            check(text.size() == mask.size(), "a plain mask matches texts of its own length");
        }
    }
    if (*result) {
        check(tl::wildcardContains(text, mask) == true, "a match is also contained");
        check(tl::wildcardMatch(text, u'*' + mask) == true, "a leading star keeps a match");
    }
    return 0;
}
