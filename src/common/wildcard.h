#pragma once
// Wildcard masks: "*" any run of characters (also none), "?" exactly one character,
// "[set]" one character of the set (ranges such as a-z; a leading "!" negates); every other
// character matches itself, ASCII letters regardless of case. The whole text must be
// consumed. Works on code points. Time is linear in the text for masks up to 64 characters
// between two "*" (longer runs cost a word more per 64 characters), whatever the mask.

#include <QString>

#include <cstddef>
#include <optional>

namespace tl {

// nullopt when the mask is invalid (an unclosed "[" set). When steps is given, the units of
// work done are added to it (for tests that bound the cost without timing it).
std::optional<bool> wildcardMatch(QStringView text, QStringView mask, std::size_t* steps = nullptr);

// True when text matches "*" + pattern + "*"; nullopt when the pattern is invalid.
std::optional<bool> wildcardContains(QStringView text, QStringView pattern);

// Checks a mask without matching anything.
bool isValidWildcardMask(QStringView mask);

} // namespace tl
