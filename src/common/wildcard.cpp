#include "common/wildcard.h"

#include <QList>

#include <algorithm>
#include <string>
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

// Every token but "*" takes exactly one character, so the last "*" seen is the only restart
// point needed: on a mismatch the run of the last "*" grows by one character and matching
// resumes after it. At most text × tokens steps, never exponential.
bool matchTokens(const std::u32string& text, const std::vector<Token>& tokens) {
    std::size_t ti = 0;
    std::size_t pi = 0;
    std::size_t starToken = std::string::npos;
    std::size_t starText = 0;
    while (ti < text.size()) {
        if (pi < tokens.size() && tokens[pi].kind == Token::AnyRun) {
            starToken = pi++;
            starText = ti;
        } else if (pi < tokens.size() && tokenMatches(tokens[pi], text[ti])) {
            ++pi;
            ++ti;
        } else if (starToken != std::string::npos) {
            pi = starToken + 1;
            ti = ++starText;
        } else {
            return false;
        }
    }
    while (pi < tokens.size() && tokens[pi].kind == Token::AnyRun) {
        ++pi;
    }
    return pi == tokens.size();
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

std::optional<bool> wildcardMatch(QStringView text, QStringView mask) {
    const auto tokens = compile(codePoints(mask));
    if (!tokens) {
        return std::nullopt;
    }
    return matchTokens(codePoints(text), *tokens);
}

std::optional<bool> wildcardContains(QStringView text, QStringView pattern) {
    return wildcardMatch(text, QString(u'*' + pattern.toString() + u'*'));
}

bool isValidWildcardMask(QStringView mask) {
    return compile(codePoints(mask)).has_value();
}

} // namespace tl
