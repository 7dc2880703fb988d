// Fuzz target for the parsers that read text from files and the network: INI documents,
// wildcard masks, ASX scanning, playlist resolution and directory result pages. Built with
// -fsanitize=fuzzer it is a libFuzzer target; otherwise a small main() runs a fixed corpus of
// hostile inputs (and any files named on the command line) so the unit tests exercise the same
// checks.
//
// Besides "no crash, no hang", a few invariants are checked and abort on failure:
//  - a value written with IniFile::setValue reads back (line breaks as blanks, 2047 cut);
//  - isValidWildcardMask agrees with wildcardMatch;
//  - a resolved playlist entry never holds a line break;
//  - a directory page gives at most the records asked for, each linked below its root.

#include "common/ini_file.h"
#include "common/text.h"
#include "common/wildcard.h"
#include "directory/directory_page.h"
#include "directory/playlist.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant failed: %s\n", what);
        std::abort();
    }
}

void fuzzIni(const QString& text) {
    tl::IniFile ini = tl::IniFile::fromText(text);
    check(ini.toText() == text, "an untouched document is written back unchanged");
    (void)ini.value(u"playlist", u"file1");
    (void)ini.intValue(u"General", u"Volume", 6);
    (void)ini.boolValue(u"General", u"ontop", false);
    (void)tl::IniFile::parseInt(text);

    // The first line of the input (capped) is the value to store.
    const QStringList lines = tl::splitLines(text);
    const QString value = lines.isEmpty() ? QString() : lines.front().left(3000);
    ini.setValue(u"Last", u"Info", value);
    ini.setInt(u"General", u"x", -12345);
    const tl::IniFile reread = tl::IniFile::fromText(ini.toText());
    QString expected = value;
    expected.replace(u'\r', u' ').replace(u'\n', u' ');
    if (expected.size() > tl::IniFile::kMaxValueLength) {
        qsizetype n = tl::IniFile::kMaxValueLength;
        if (expected[n - 1].isHighSurrogate()) {
            --n;
        }
        expected.truncate(n);
    }
    check(reread.value(u"Last", u"Info") == expected, "a written value reads back");
    check(reread.intValue(u"General", u"x", 0) == -12345, "a written integer reads back");
}

void fuzzWildcard(const QString& text) {
    // "mask NUL text", or the text against itself as a mask.
    const qsizetype split = text.indexOf(QChar(0));
    const QString mask = split >= 0 ? text.left(split) : text;
    const QString subject = split >= 0 ? text.mid(split + 1) : text;
    const auto result = tl::wildcardMatch(subject, mask);
    check(result.has_value() == tl::isValidWildcardMask(mask), "validity agrees with matching");
    const bool plain = !mask.contains(u'[') && !mask.contains(u'?') && !mask.contains(u'*');
    if (plain && subject == mask) {
        check(result == true, "a plain mask matches itself");
    }
    if (plain && result == true) {
        check(subject.size() == mask.size(), "a plain mask matches texts of its own length");
    }
    (void)tl::wildcardContains(subject, mask);
}

void fuzzPlaylist(const QByteArray& bytes, const QString& text) {
    const QString reference = tl::FindAsxReference(text);
    check(!reference.contains(u'\n') && !reference.contains(u'\r'), "a reference is one line");
    (void)tl::PlaylistExtension(text);
    (void)tl::IsDirectStreamAddress(text);

    static QTemporaryDir dir;
    if (!dir.isValid()) {
        return;
    }
    const tl::PlaylistResolver resolver(dir.path() + "/",
                                        [&bytes](const QString&) { return bytes; });
    for (const char* address : {"http://h.example/a.pls", "http://h.example/a.m3u",
                                "http://h.example/a.asx", "http://h.example/a.php"}) {
        const tl::PlaylistResult r = resolver.ParsePlayList(QString::fromLatin1(address));
        check(!r.Url.contains(u'\n') && !r.Url.contains(u'\r'), "an entry is one line");
        check(r.ConnectFailed == (bytes.isEmpty() || bytes.front() == '\0'),
              "only an empty reply is a connection failure");
    }
}

void fuzzDirectoryPage(const QByteArray& bytes) {
    const tl::DirectoryRoots roots{QStringLiteral("http://s.example/"),
                                   QStringLiteral("http://x.example")};
    const QStringList lines = tl::PageLines(bytes);
    for (int service : {tl::kServiceShoutcast, tl::kServiceXiph}) {
        const auto records = tl::ParseDirectoryPage(lines, service, 7, roots);
        check(records.size() <= 7, "no more records than asked for");
        for (const tl::TStat& r : records) {
            check(r.Url.startsWith(service == 0 ? roots.shoutcastRoot : roots.xiphBase),
                  "a result link stays below its directory");
        }
    }
    if (const auto json = tl::ParseRadioBrowserStations(bytes, 300)) {
        check(json->size() <= tl::kMaxSearchResults, "at most 255 results");
        for (const tl::TStat& r : *json) {
            check(!r.Url.isEmpty() && !r.Url.contains(u'\n'), "a playable one-line address");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view raw(reinterpret_cast<const char*>(data), size);
    const QByteArray bytes(raw.data(), static_cast<qsizetype>(raw.size()));
    const QString text = tl::decodeNetworkText(raw);
    fuzzIni(text);
    fuzzWildcard(text);
    fuzzPlaylist(bytes, text);
    fuzzDirectoryPage(bytes);
    return 0;
}

#ifndef TL_LIBFUZZER
namespace {

std::vector<std::string> nastyCorpus() {
    std::vector<std::string> corpus = {
        "",
        std::string(1, '\0'),
        "[",
        "]",
        "=",
        "[playlist]\nfile1=\"",
        "[playlist]\nfile1='\n",
        "[playlist\r\rfile1=x\r\n\r\n",
        "[Last]\nInfo=old\n[Last]\nInfo=shadowed",
        "\xEF\xBB\xBF[Reference]\r\nRef1=http://a\r\n",
        "[\xFF\xFE]\n\x80\x81=\x93\x94\n",
        "\xC3\x28\xE2\x82\xF0\x9F\x8E",
        "REF HREF",
        "REF HREF\"",
        "\"REF HREF\"\"\"",
        "<ASX><REF HREF=\"",
        "<ASX>\n<REF HREF=\"\"\n<REF HREF=\"x.gif\"\n<ref href=\"mms://a\"/>",
        "\xC3\x9F\xC3\x9F\xC3\x9FREF HREF=\"http://a\"/>",
        "[!",
        "[a-",
        "[a-]",
        "[]]",
        "*?*?*?*?[!a-z]*",
        "0x",
        "$",
        "-2147483648",
        "$FFFFFFFF",
        "99999999999999999999999999",
        "http://1.2.3.4:80",
        "mms://",
        "c:\\a.b\\c",
    };
    corpus.push_back(std::string(5000, '*') + '\0' + std::string(5000, 'a'));
    corpus.push_back(std::string("*a*a*a*a*a*a*a*a*a*b") + '\0' + std::string(4000, 'a'));
    corpus.push_back("[playlist]\nfile1=" + std::string(5000, 'x') + "\n");
    corpus.push_back("[Last]\n" + std::string(3000, ' ') + "\xF0\x9F\x8E\xB5");
    corpus.push_back(std::string(2046, 'y') + "\xF0\x9F\x8E\xB5");
    corpus.push_back(std::string(40000, '\n'));
    corpus.push_back(std::string(40000, '\r') + "REF HREF");
    std::string manyRefs;
    for (int i = 0; i < 2000; ++i) {
        manyRefs += "<REF HREF=\"http://b/" + std::to_string(i) + ".gif\"/>\n";
    }
    corpus.push_back(manyRefs);
    corpus.push_back("<table class=\"servers-list\">\n('/stream/website');\">a&amp;</a></span>\n"
                     "<p class=\"stream-description\">\n<p>* <a href=\"\n<p class=\"format\" "
                     "title=\"\n\n");
    corpus.push_back("<td colspan=\"12\" align=\"center\"\n<td nowrap align=\"center\" "
                     "bgcolor=\"#\"><a href=\"\n" +
                     std::string(3000, '*') + "\n\n");
    corpus.push_back("[" + std::string(300, '{') + "]");
    corpus.push_back("[{\"url\":\"http://a\",\"bitrate\":1e999,\"tags\":7},{\"url\":[]}]");
    return corpus;
}

QByteArray readFile(const char* path) {
    QFile f(QString::fromLocal8Bit(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    std::size_t runs = 0;
    auto run = [&runs](std::string_view input) {
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        ++runs;
    };
    for (const std::string& input : nastyCorpus()) {
        run(input);
    }
    for (int i = 1; i < argc; ++i) {
        const QByteArray file = readFile(argv[i]);
        run(std::string_view(file.constData(), static_cast<std::size_t>(file.size())));
    }
    std::printf("%zu inputs passed\n", runs);
    return 0;
}
#endif
