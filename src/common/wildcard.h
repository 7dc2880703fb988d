#pragma once
// Wildcard masks: "*" any run of characters (also none), "?" exactly one character,
// "[set]" one character of the set (ranges such as a-z; a leading "!" negates); every other
// character matches itself, ASCII letters regardless of case. The whole text must be
// consumed. Works on code points and runs in O(text * mask) without backtracking blow-up.

#include <QString>

#include <optional>

namespace tl {

// nullopt when the mask is invalid (an unclosed "[" set).
std::optional<bool> wildcardMatch(QStringView text, QStringView mask);

// True when text matches "*" + pattern + "*"; nullopt when the pattern is invalid.
std::optional<bool> wildcardContains(QStringView text, QStringView pattern);

// Checks a mask without matching anything.
bool isValidWildcardMask(QStringView mask);

} // namespace tl
