#include "common/wildcard.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tl {

namespace {

char32_t asciiLower(char32_t c) {
    return (c >= U'A' && c <= U'Z') ? c + (U'a' - U'A') : c;
}

char32_t asciiUpper(char32_t c) {
    return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
}

struct Token {
    enum Kind { Literal, AnyOne, AnyRun, Set } kind = Literal;
    char32_t ch = 0;                                   // Literal: lower-cased ASCII
    std::vector<std::pair<char32_t, char32_t>> ranges; // Set: inclusive ranges
    bool negated = false;                              // Set
};

bool inRanges(const Token& t, char32_t c) {
    for (const auto& [lo, hi] : t.ranges) {
        if (c >= lo && c <= hi) {
            return true;
        }
    }
    return false;
}

bool tokenMatches(const Token& t, char32_t c) {
    switch (t.kind) {
    case Token::Literal:
        return asciiLower(c) == t.ch;
    case Token::AnyOne:
        return true;
    case Token::Set: {
        const bool in = inRanges(t, c) || inRanges(t, asciiLower(c)) || inRanges(t, asciiUpper(c));
        return in != t.negated;
    }
    case Token::AnyRun:
        break;
    }
    return false;
}

// Compiles a mask into tokens; nullopt when a "[" set is not closed. Runs of "*" collapse
// into one token.
std::optional<std::vector<Token>> compile(const std::u32string& mask) {
    std::vector<Token> tokens;
    const std::size_t n = mask.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t c = mask[i];
        Token t;
        if (c == U'*') {
            if (!tokens.empty() && tokens.back().kind == Token::AnyRun) {
                continue;
            }
            t.kind = Token::AnyRun;
        } else if (c == U'?') {
            t.kind = Token::AnyOne;
        } else if (c == U'[') {
            t.kind = Token::Set;
            std::size_t j = i + 1;
            if (j < n && mask[j] == U'!') {
                t.negated = true;
                ++j;
            }
            bool closed = false;
            while (j < n) {
                const char32_t lo = mask[j];
                if (lo == U']') {
                    closed = true;
                    break;
                }
                // "a-z" is a range; a "-" before the closing "]" is itself a member.
                if (j + 2 < n && mask[j + 1] == U'-' && mask[j + 2] != U']') {
                    char32_t hi = mask[j + 2];
                    t.ranges.emplace_back(std::min(lo, hi), std::max(lo, hi));
                    j += 3;
                } else {
                    t.ranges.emplace_back(lo, lo);
                    ++j;
                }
            }
            if (!closed) {
                return std::nullopt;
            }
            i = j;
        } else {
            t.ch = asciiLower(c);
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

// A run of tokens without "*": each takes exactly one character.
using Segment = std::vector<const Token*>;

bool segmentMatchesAt(const Segment& seg, const std::u32string& text, std::size_t at,
                      std::size_t& steps) {
    for (std::size_t j = 0; j < seg.size(); ++j) {
        ++steps;
        if (!tokenMatches(*seg[j], text[at + j])) {
            return false;
        }
    }
    return true;
}

// Finds the leftmost place at or after `from` where seg matches and ends at or before `limit`
// (bit-parallel shift-and: one pass over the text, one word per 64 tokens per character).
// Returns the end of that occurrence, or npos.
std::size_t findSegment(const Segment& seg, const std::u32string& text, std::size_t from,
                        std::size_t limit, std::size_t& steps) {
    const std::size_t length = seg.size();
    const std::size_t words = (length + 63) / 64;
    // Which tokens accept a character, computed once per distinct character.
    std::vector<std::vector<uint64_t>> ascii(128);
    std::unordered_map<char32_t, std::vector<uint64_t>> others;
    auto acceptMask = [&](char32_t c) -> const std::vector<uint64_t>& {
        std::vector<uint64_t>* mask = nullptr;
        if (c < 128) {
            mask = &ascii[c];
        } else {
            mask = &others[c];
        }
        if (mask->empty()) {
            mask->assign(words, 0);
            for (std::size_t j = 0; j < length; ++j) {
                ++steps;
                if (tokenMatches(*seg[j], c)) {
                    (*mask)[j / 64] |= uint64_t{1} << (j % 64);
                }
            }
        }
        return *mask;
    };
    std::vector<uint64_t> state(words, 0);
    const uint64_t lastBit = uint64_t{1} << ((length - 1) % 64);
    for (std::size_t i = from; i < limit; ++i) {
        const std::vector<uint64_t>& accept = acceptMask(text[i]);
        uint64_t carry = 1; // a match may start at every character
        for (std::size_t w = 0; w < words; ++w) {
            ++steps;
            const uint64_t next = state[w] >> 63;
            state[w] = ((state[w] << 1) | carry) & accept[w];
            carry = next;
        }
        if ((state[words - 1] & lastBit) != 0) {
            return i + 1;
        }
    }
    return std::string::npos;
}

// The text is split at the "*" tokens: the first run must match at the start, the last at the
// end, and each run between is placed at its leftmost possible place after the one before.
// Every run has a fixed length, so taking the leftmost place never loses a match.
bool matchTokens(const std::u32string& text, const std::vector<Token>& tokens, std::size_t& steps) {
    std::vector<Segment> segments(1);
    for (const Token& t : tokens) {
        if (t.kind == Token::AnyRun) {
            segments.emplace_back();
        } else {
            segments.back().push_back(&t);
        }
    }
    const std::size_t n = text.size();
    if (segments.size() == 1) {
        return n == segments[0].size() && segmentMatchesAt(segments[0], text, 0, steps);
    }
    const Segment& head = segments.front();
    const Segment& tail = segments.back();
    if (head.size() + tail.size() > n || !segmentMatchesAt(head, text, 0, steps) ||
        !segmentMatchesAt(tail, text, n - tail.size(), steps)) {
        return false;
    }
    std::size_t position = head.size();
    const std::size_t limit = n - tail.size();
    for (std::size_t s = 1; s + 1 < segments.size(); ++s) {
        position = findSegment(segments[s], text, position, limit, steps);
        if (position == std::string::npos) {
            return false;
        }
    }
    return true;
}

std::u32string codePoints(QStringView s) {
    const QList<uint> ucs4 = s.toUcs4();
    std::u32string out;
    out.reserve(static_cast<std::size_t>(ucs4.size()));
    for (const uint u : ucs4) {
        out.push_back(static_cast<char32_t>(u));
    }
    return out;
}

} // namespace

std::optional<bool> wildcardMatch(QStringView text, QStringView mask, std::size_t* steps) {
    const auto tokens = compile(codePoints(mask));
    if (!tokens) {
        return std::nullopt;
    }
    std::size_t work = 0;
    const bool matched = matchTokens(codePoints(text), *tokens, work);
    if (steps != nullptr) {
        *steps += work;
    }
    return matched;
}

std::optional<bool> wildcardContains(QStringView text, QStringView pattern) {
    return wildcardMatch(text, QString(u'*' + pattern.toString() + u'*'));
}

bool isValidWildcardMask(QStringView mask) {
    return compile(codePoints(mask)).has_value();
}

} // namespace tl
