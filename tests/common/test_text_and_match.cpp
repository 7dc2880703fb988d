#include "common/folder_files.h"
#include "common/numeric.h"
#include "common/text.h"
#include "common/wildcard.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

struct MatchCase {
    const char* text;
    const char* mask;
    std::optional<bool> expected;
};

TEST(Wildcard, Constructs) {
    const MatchCase cases[] = {
        {"", "", true},
        {"a", "", false},
        {"", "*", true},
        {"", "?", false},
        {"abc", "abc", true},
        {"ABC", "abc", true},
        {"abc", "ab", false},
        {"abc", "abcd", false},
        {"abc", "a*", true},
        {"abc", "*c", true},
        {"abc", "*b*", true},
        {"abc", "*d*", false},
        {"abc", "a***c", true},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abc", "???", true},
        {"abc", "????", false},
        {"mississippi", "*sip*", true},
        {"mississippi", "m*iss*ppi", true},
        {"mississippi", "m*iss*pp", false},
        {"b", "[abc]", true},
        {"d", "[abc]", false},
        {"B", "[abc]", true}, // ASCII letters in sets ignore case too
        {"q", "[A-Z]", true},
        {"5", "[0-9]", true},
        {"x", "[!0-9]", true},
        {"7", "[!0-9]", false},
        {"-", "[a-]", true},
        {"m", "[z-a]", true}, // a reversed range covers the same letters
        {"]", "]", true},
        {"x", "[]", false},
        {"x", "[!]", true},
        {"song - live", "*[!a-z]live", true},
        {"\xC3\xA9", "?", true},         // one code point, two bytes
        {"\xF0\x9F\x8E\xB5", "?", true}, // outside the BMP: still one character
        {"\xC3\x89", "\xC3\xA9", false}, // only ASCII letters fold
        {"\xF0\x9F\x8E\xB5x", "[\xF0\x9F\x8E\xB5]x", true},
        {"abc", "[abc", std::nullopt},
        {"abc", "*[!", std::nullopt},
        {"", "[", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::wildcardMatch(QString::fromUtf8(c.text), QString::fromUtf8(c.mask)),
                  c.expected)
            << c.text << " / " << c.mask;
        EXPECT_EQ(tl::isValidWildcardMask(QString::fromUtf8(c.mask)), c.expected.has_value());
    }
}

TEST(Wildcard, Contains) {
    EXPECT_EQ(tl::wildcardContains(u"Artist - Title (Live)", u"title"), true);
    EXPECT_EQ(tl::wildcardContains(u"Artist - Title", u"t?tle"), true);
    EXPECT_EQ(tl::wildcardContains(u"Artist - Title", u"remix"), false);
    EXPECT_EQ(tl::wildcardContains(u"anything", u""), true);
    EXPECT_EQ(tl::wildcardContains(u"anything", u"[a"), std::nullopt);
}

TEST(Wildcard, ManyStarsOnLongTextComplete) {
    const QString text = QString(20000, u'a');
    QString mask;
    for (int i = 0; i < 200; ++i) {
        mask += QStringLiteral("*a");
    }
    EXPECT_EQ(tl::wildcardMatch(text, mask + "*b"), false);
    EXPECT_EQ(tl::wildcardMatch(text, mask), true);
    EXPECT_EQ(tl::wildcardMatch(text, mask + "?*[!a]"), false);
}

// Reference matcher: the textbook table over (text position, mask token), for small cases.
bool referenceMatch(const std::u32string& text, const std::u32string& mask) {
    auto one = [](char32_t m, char32_t c) {
        auto lower = [](char32_t x) {
            return (x >= U'A' && x <= U'Z') ? x + 32 : x;
        };
        return m == U'?' || lower(m) == lower(c);
    };
    std::vector<std::vector<char>> ok(text.size() + 1, std::vector<char>(mask.size() + 1, 0));
    ok[0][0] = 1;
    for (std::size_t j = 1; j <= mask.size(); ++j) {
        ok[0][j] = ok[0][j - 1] && mask[j - 1] == U'*';
    }
    for (std::size_t i = 1; i <= text.size(); ++i) {
        for (std::size_t j = 1; j <= mask.size(); ++j) {
            ok[i][j] = mask[j - 1] == U'*' ? (ok[i - 1][j] || ok[i][j - 1])
                                           : (ok[i - 1][j - 1] && one(mask[j - 1], text[i - 1]));
        }
    }
    return ok[text.size()][mask.size()];
}

TEST(Wildcard, AgreesWithTheReferenceOnRandomCases) {
    std::mt19937 random(1234);
    const char32_t textChars[] = {U'a', U'b', U'A', U'\u00e9'};
    const char32_t maskChars[] = {U'a', U'b', U'B', U'?', U'*', U'*', U'\u00e9'};
    for (int round = 0; round < 20000; ++round) {
        std::u32string text(random() % 9, U' ');
        std::u32string mask(random() % 7, U' ');
        for (char32_t& c : text) {
            c = textChars[random() % std::size(textChars)];
        }
        for (char32_t& c : mask) {
            c = maskChars[random() % std::size(maskChars)];
        }
        const QString t = QString::fromStdU32String(text);
        const QString m = QString::fromStdU32String(mask);
        ASSERT_EQ(tl::wildcardMatch(t, m), referenceMatch(text, mask))
            << t.toStdString() << " / " << m.toStdString();
    }
}

// The work done grows with the text, not with text times mask: counted in steps, not timed.
TEST(Wildcard, PathologicalMasksStayLinear) {
    const QString as(100 * 1024, u'a');
    const QString mixed = QString(QStringLiteral("ab")).repeated(50 * 1024);
    const struct {
        const QString* text;
        QString mask;
        bool expected;
    } cases[] = {
        {&as, QStringLiteral("*a").repeated(200) + QStringLiteral("*b"), false},
        {&as, QStringLiteral("*") + QString(60, u'a') + QStringLiteral("b*"), false},
        {&as, QStringLiteral("*") + QString(300, u'a') + QStringLiteral("b*"), false},
        {&as, QStringLiteral("*") + QStringLiteral("a?").repeated(30) + QStringLiteral("[!a]*"),
         false},
        {&as, QStringLiteral("*a*").repeated(100), true},
        {&mixed, QStringLiteral("*[ab]b").repeated(40) + QStringLiteral("*abab"), true},
        {&mixed, QStringLiteral("*") + QStringLiteral("ab").repeated(40) + QStringLiteral("aa*"),
         false},
    };
    for (const auto& c : cases) {
        std::size_t steps = 0;
        EXPECT_EQ(tl::wildcardMatch(*c.text, c.mask, &steps), c.expected) << c.mask.toStdString();
        // Each character is looked at a few times; a mask run over 64 tokens costs a word more.
        const std::size_t words = 1 + static_cast<std::size_t>(c.mask.size()) / 64;
        const auto bound =
            4 * words * static_cast<std::size_t>(c.text->size() + c.mask.size()) + 128 * 400;
        EXPECT_LE(steps, bound) << c.mask.toStdString();
    }
}

TEST(Text, NetworkTextIsCutAndControlsAreBlanked) {
    const QString longText(5000, u'x');
    EXPECT_EQ(tl::capNetworkText(longText).size(), tl::kMaxNetworkTextLength);
    EXPECT_EQ(tl::capNetworkText(QStringLiteral("short")), QStringLiteral("short"));
    // A surrogate pair across the cut is dropped whole.
    const QString pairAtCut =
        QString(tl::kMaxNetworkTextLength - 1, u'y') + QString::fromUtf8("\xF0\x9F\x8E\xB5z");
    const QString cut = tl::capNetworkText(pairAtCut);
    EXPECT_EQ(cut.size(), tl::kMaxNetworkTextLength - 1);
    EXPECT_FALSE(cut.back().isHighSurrogate());

    const struct {
        const char* in;
        const char* out;
    } rows[] = {
        {"plain", "plain"},
        {"a\rb\nc\td", "a b c d"},
        {"x\x7fy\xc2\x85z", "x y z"},           // DEL and NEL
        {"l\xe2\x80\xa8p\xe2\x80\xa9", "l p "}, // line and paragraph separators
        {"Caf\xc3\xa9 \xe2\x80\x93 ok", "Caf\xc3\xa9 \xe2\x80\x93 ok"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(tl::replaceControlCharacters(QString::fromUtf8(r.in)), QString::fromUtf8(r.out))
            << r.in;
    }
}

TEST(Numeric, RoundHalfEven) {
    const struct {
        double in;
        int out;
    } cases[] = {{0.5, 0},
                 {1.5, 2},
                 {2.5, 2},
                 {3.5, 4},
                 {-0.5, 0},
                 {-1.5, -2},
                 {-2.5, -2},
                 {2.4999, 2},
                 {2.5001, 3},
                 {-2.6, -3},
                 {7.0, 7},
                 {1e12, 2147483647},
                 {-1e12, -2147483647 - 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(tl::roundHalfEven(c.in), c.out) << c.in;
    }
    EXPECT_EQ(tl::roundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(Numeric, Colours) {
    static_assert(tl::colorRefToArgb(0x00332211u) == 0xFF112233u);
    static_assert(tl::colorRefToArgb(0x000000FFu, 0x80) == 0x80FF0000u);
    static_assert(tl::argbToColorRef(0xFF112233u) == 0x00332211u);
    for (uint32_t c : {0u, 0x00FFFFFFu, 0x00123456u, 0x00ABCDEFu}) {
        EXPECT_EQ(tl::argbToColorRef(tl::colorRefToArgb(c)), c);
    }
}

TEST(Text, DecodeNetworkText) {
    const struct {
        std::string_view bytes;
        const char* utf8;
    } cases[] = {
        {"plain ascii", "plain ascii"},
        {"Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5", "Caf\xC3\xA9 \xE2\x80\x93 \xF0\x9F\x8E\xB5"},
        {"\x93quoted\x94 \x80 \x85", "\xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC \xE2\x80\xA6"},
        {"Caf\xE9", "Caf\xC3\xA9"},
        // One invalid sequence turns the whole text into Windows-1252.
        {"\xC3\xA9 and \xE9", "\xC3\x83\xC2\xA9 and \xC3\xA9"},
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                 // over-long form is not UTF-8
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"}, // nor is an encoded surrogate
        {"cut \xE2\x82", "cut \xC3\xA2\xE2\x80\x9A"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::decodeNetworkText(c.bytes), QString::fromUtf8(c.utf8)) << c.utf8;
    }
}

TEST(Text, SplitLines) {
    const struct {
        const char* text;
        QStringList lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\nb", {"a", "b"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\r\n", {"a", ""}},
        {"\n", {""}},
        {" a \n", {" a "}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::splitLines(QString::fromUtf8(c.text)), c.lines) << c.text;
    }
}

TEST(Text, TwoDigits) {
    EXPECT_EQ(tl::twoDigits(7), "07");
    EXPECT_EQ(tl::twoDigits(0), "00");
    EXPECT_EQ(tl::twoDigits(42), "42");
    EXPECT_EQ(tl::twoDigits(123), "123");
    EXPECT_EQ(tl::twoDigits(-3), "-03");
}

} // namespace

TEST(FolderFiles, NamesStayInsideTheFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    for (const char* name : {"a.ini", "sub/b.ini"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(name);
    }
    const tl::FolderFiles disk = tl::FolderFiles::onDisk(dir.filePath(QStringLiteral("sub")));
    const tl::FolderFiles memory = tl::FolderFiles::inMemory(
        {{QStringLiteral("b.ini"), "sub/b.ini"}, {QStringLiteral("../a.ini"), "a.ini"}});
    const std::pair<const char*, std::optional<QByteArray>> rows[] = {
        {"b.ini", "sub/b.ini"},   {"../a.ini", std::nullopt}, {"..", std::nullopt},
        {".", std::nullopt},      {"", std::nullopt},         {"x\\..\\a.ini", std::nullopt},
        {"missing", std::nullopt}};
    for (const auto& [name, want] : rows) {
        EXPECT_EQ(disk.read(QString::fromLatin1(name)), want) << name;
        EXPECT_EQ(memory.read(QString::fromLatin1(name)), want) << name;
    }
    EXPECT_EQ(disk.folder(), dir.filePath(QStringLiteral("sub/")));
}

// A theme made where file names ignore case: a missing exact name takes the one file that
// matches ignoring case; with several, the exact name still wins, else the first in code
// order, the same on every run.
TEST(FolderFiles, NamesIgnoringCaseWhenTheExactOneIsMissing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::map<QString, QByteArray> files = {{QStringLiteral("THEME.INI"), "upper ini"},
                                                 {QStringLiteral("GroupL.png"), "groupL"},
                                                 {QStringLiteral("51.PNG"), "51"},
                                                 {QStringLiteral("a.png"), "lower a"},
                                                 {QStringLiteral("A.png"), "upper a"},
                                                 {QStringLiteral("b.PNG"), "b upper ext"},
                                                 {QStringLiteral("B.png"), "B upper name"},
                                                 {QStringLiteral("\u00C9t\u00E9.png"), "accent"}};
    for (const auto& [name, bytes] : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QDir(dir.path()).mkdir(QStringLiteral("SUB.PNG")); // a folder is never a file
    const std::pair<const char*, std::optional<QByteArray>> rows[] = {
        {"theme.ini", "upper ini"},     {"groupL.png", "groupL"},
        {"GROUPL.PNG", "groupL"},       {"51.png", "51"},
        {"a.png", "lower a"},           {"A.png", "upper a"},
        {"A.PNG", "upper a"},           {"b.png", "B upper name"},
        {"B.PNG", "B upper name"},      {"\xC3\xA9T\xC3\xA9.PNG", "accent"},
        {"sub.png", std::nullopt},      {"missing.png", std::nullopt},
        {"../THEME.INI", std::nullopt}, {"theme.in", std::nullopt},
        {"theme.ini ", std::nullopt}};
    const tl::FolderFiles disk = tl::FolderFiles::onDisk(dir.path());
    const tl::FolderFiles memory = tl::FolderFiles::inMemory(files);
    for (const auto& [name, want] : rows) {
        EXPECT_EQ(disk.read(QString::fromUtf8(name)), want) << name;
        EXPECT_EQ(memory.read(QString::fromUtf8(name)), want) << name;
    }
}
