#include "common/hls_detect.h"
#include "directory/playlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string_view>

namespace {

using tl::FindAsxReference;
using tl::PlaylistResolver;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class PlaylistTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Resolves address against a fake network that serves body for every address.
    tl::PlaylistResult resolve(const QString& address, const QByteArray& body,
                               const QString& contentType = {}) {
        return resolveIn(dir_.path() + "/", address, body, contentType);
    }

    tl::PlaylistResult resolveIn(const QString& appPath, const QString& address,
                                 const QByteArray& body, const QString& contentType = {}) {
        downloads_.clear();
        PlaylistResolver resolver(appPath, [this, body, contentType](const QString& requested) {
            downloads_.push_back(requested);
            return tl::PlaylistReply(body, contentType);
        });
        return resolver.ParsePlayList(address);
    }

    QString plsPath() const { return dir_.filePath("pls.dat"); }

    QTemporaryDir dir_;
    QStringList downloads_;
};

const QByteArray kPls = "[playlist]\nNumberOfEntries=1\nFile1=http://pls.example/stream\n";
const QByteArray kReference = "[Reference]\r\nRef1=http://ref.example/one\r\nRef2=http://x/two\r\n";

TEST_F(PlaylistTest, DirectAddressesAreNotDownloaded) {
    const char* direct[] = {
        "mms://media.example/live", "http://10.0.0.1:8000", "http://10.0.0.1:8000/",
        "http://radio.example.com:8000/listen.pls", // three dots in host and path together
    };
    for (const char* address : direct) {
        const auto r = resolve(address, kPls);
        EXPECT_EQ(r.Url, address);
        EXPECT_EQ(r.StationUrl, address);
        EXPECT_TRUE(downloads_.isEmpty()) << address;
        EXPECT_FALSE(QFile::exists(plsPath()));
    }
}

TEST_F(PlaylistTest, DirectStreamTest) {
    const struct {
        const char* address;
        bool direct;
    } cases[] = {
        {"http://1.2.3.4:80", true},
        {"http://a.b.c:80/x", false},    // two dots only
        {"http://a.b.c.d/x", false},     // no port
        {"https://1.2.3.4:8000", false}, // only plain http
        {"HTTP://1.2.3.4:8000", false},  // case-sensitive scheme
        {"http://a.b:1/c.d.e", true},    // counts anywhere
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::IsDirectStreamAddress(QString::fromUtf8(c.address)), c.direct) << c.address;
    }
}

TEST_F(PlaylistTest, UpperCaseMmsIsDownloadedAndFails) {
    const auto r = resolve("MMS://media.example/live", QByteArray());
    EXPECT_EQ(downloads_, QStringList{"MMS://media.example/live"});
    EXPECT_TRUE(r.ConnectFailed);
    EXPECT_TRUE(r.Url.isEmpty());
    EXPECT_TRUE(r.StationUrl.isEmpty());
    EXPECT_TRUE(r.Error.isEmpty());
}

TEST_F(PlaylistTest, ReplyStartingWithNulCountsAsNothing) {
    const auto r = resolve("http://host.example/a.pls", QByteArray("\0[playlist]", 11));
    EXPECT_TRUE(r.ConnectFailed);
    EXPECT_FALSE(QFile::exists(plsPath()));
}

TEST_F(PlaylistTest, DownloadedTextIsKeptByteForByte) {
    const QByteArray body = "[playlist]\r\nfile1=http://a/\xE9\r\n\n\rtail";
    const QByteArray withNul = body + QByteArray("\0ignored", 8);
    resolve("http://radio.example.com:8000/stream", withNul);
    EXPECT_EQ(downloads_.size(), 1);
    EXPECT_EQ(readAll(plsPath()), body);
}

struct EntryCase {
    const char* name;
    const char* address;
    QByteArray body;
    const char* expected;
    const char* contentType = "";
};

const QByteArray kHlsMedia = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n"
                             "#EXT-X-MEDIA-SEQUENCE:7\n#EXTINF:2.0,\nhttp://cdn/seg7.ts\n";
const QByteArray kHlsMaster = "#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=70400\r\nlo/index.m3u8\r\n";

TEST_F(PlaylistTest, ChoosesTheEntry) {
    const EntryCase cases[] = {
        {"pls", "http://h.example/a.pls", kPls, "http://pls.example/stream"},
        {"pls case-insensitive names", "http://h/a.pls", "[PlayList]\nFILE1=http://x\n",
         "http://x"},
        {"pls blank file1", "http://h/a.pls", "[playlist]\nfile1=   \nfile2=http://two\n",
         "http://two"},
        {"pls quoted file2 kept as read", "http://h/a.pls",
         "[playlist]\nfile1=\nfile2=\" http://two \"\n", " http://two "},
        {"pls neither", "http://h/a.pls", "[playlist]\nTitle1=x\n", ""},
        {"pls file1 outside its section", "http://h/a.pls", "file1=http://x\n[playlist]\n", ""},
        {"pls with CR only", "http://h/a.pls", "[playlist]\rfile1=http://cr\r", "http://cr"},
        {"pls with query string", "http://h/a.pls?x=1", kPls, "http://pls.example/stream"},
        {"upper-case extension", "http://h/A.PLS", kPls, "http://pls.example/stream"},
        {"audio behind other extension is the stream", "http://radio.example.com/live.mp3",
         "\xFF\xFB\x90\x64\x01\x02", "http://radio.example.com/live.mp3"},
        {"id3 tag behind no extension is the stream", "https://h/listen", "ID3\x04\x01\xFF",
         "https://h/listen"},
        {"m3u text behind other extension", "http://h/listen.php", "#EXTM3U\nhttp://m\n",
         "http://m"},
        {"text without an address", "http://h/listen.php", "<html>not here</html>\n", ""},
        {"extended m3u skips its comments", "http://h/a.m3u",
         "#EXTM3U\r\n#EXTINF:-1,x\r\nhttp://m\r\n", "http://m"},
        {"m3u of comments only", "http://h/a.m3u", "#EXTM3U\n#EXTINF:-1,x\n", ""},
        {"m3u LF", "http://h/a.m3u", "http://m1\nhttp://m2\n", "http://m1"},
        {"m3u CR", "http://h/a.m3u", "http://m1\rhttp://m2", "http://m1"},
        {"m3u keeps blanks", "http://h/a.m3u", "  http://m1 \n", "  http://m1 "},
        {"m3u blank first line", "http://h/a.m3u", "\n \nhttp://m2\n", "http://m2"},
        {"reference behind asx", "http://h/a.asx", kReference, ""},
        {"reference behind other", "http://h/a.php", kReference, "http://ref.example/one"},
        {"reference without extension", "http://h/listen", kReference, "http://ref.example/one"},
        {"asx behind other", "http://h/get?id=3",
         "<asx version=\"3.0\">\n<entry><ref href=\"mms://a/live\"/></entry></asx>\n",
         "mms://a/live"},
        {"asx wins over reference", "http://h/x.php",
         "[Reference]\nRef1=http://r\n<ASX>\n<REF HREF=\"http://asx\" />\n", "http://asx"},
        {"unknown document", "http://h/x.php", "<html>hello</html>", ""},
        {"slash after the extension", "http://h.example/dir.m3u/", "line1\nline2", ""},
        // HLS playlists are streams of their own; plain lists keep giving their first entry.
        {"hls media playlist", "http://h/live/index.m3u8", kHlsMedia, "http://h/live/index.m3u8"},
        {"hls master behind upper-case m3u8", "https://h/LIVE.M3U8?token=1", kHlsMaster,
         "https://h/LIVE.M3U8?token=1"},
        {"hls behind .m3u", "http://h/radio.m3u", kHlsMedia, "http://h/radio.m3u"},
        {"hls behind a script", "http://h/listen.php", kHlsMaster, "http://h/listen.php"},
        {"hls type with a lone tag", "http://h/get", "#EXTM3U\n#EXT-X-VERSION:3\nx.ts\n",
         "http://h/get", "application/vnd.apple.mpegURL"},
        {"lone tag, plain type, is a list", "http://h/get",
         "#EXTM3U\n#EXT-X-VERSION:3\nhttp://s/\n", "http://s/", "text/plain"},
        {"m3u8 listing a stream", "http://h/station.m3u8",
         "#EXTM3U\n#EXTINF:-1,R\nhttp://s:8000/\n", "http://s:8000/", "audio/x-mpegurl"},
        {"m3u8 listing an hls entry", "http://h/station.m3u8", "http://cdn/master.m3u8\n",
         "http://cdn/master.m3u8"},
        {"pls listing an hls entry", "http://h/a.pls", "[playlist]\nFile1=http://cdn/x.m3u8\n",
         "http://cdn/x.m3u8"},
        {"hls tags after a blank first line are a list", "http://h/a.m3u8",
         "\n#EXTM3U\n#EXT-X-TARGETDURATION:2\nhttp://s/seg.ts\n", "http://s/seg.ts"},
    };
    for (const auto& c : cases) {
        const auto r = resolve(c.address, c.body, QString::fromUtf8(c.contentType));
        EXPECT_EQ(r.Url, QString::fromUtf8(c.expected)) << c.name;
        EXPECT_EQ(r.StationUrl, c.address) << c.name;
        EXPECT_FALSE(r.ConnectFailed) << c.name;
        EXPECT_TRUE(r.Error.isEmpty()) << c.name;
    }
}

TEST_F(PlaylistTest, UnwritableScratchFileIsAnError) {
    // The program folder is missing, or pls.dat is a folder: nothing is to be played.
    const auto missing = resolveIn(dir_.path() + "/missing/", "http://h/a.pls", kPls);
    EXPECT_FALSE(missing.Error.isEmpty());
    EXPECT_TRUE(missing.Url.isEmpty());
    EXPECT_TRUE(missing.StationUrl.isEmpty());
    EXPECT_FALSE(missing.ConnectFailed);

    ASSERT_TRUE(QDir(dir_.path()).mkdir("pls.dat"));
    const auto folder = resolve("http://h/a.pls", kPls);
    EXPECT_FALSE(folder.Error.isEmpty());
    EXPECT_TRUE(folder.Url.isEmpty());
}

TEST(HlsDetect, Table) {
    const struct {
        const char* address;
        const char* type;
        std::string_view body;
        bool hls;
    } cases[] = {
        {"http://h/a.m3u8", "", "#EXTM3U\n#EXT-X-TARGETDURATION:6\n", true},
        {"http://h/a", "", "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1\nv.m3u8\n", true},
        {"http://h/a", "", "#EXTM3U\r#EXT-X-MEDIA-SEQUENCE:1\r", true},              // CR lines
        {"http://h/a", "", "\xEF\xBB\xBF#EXTM3U \r\n#EXT-X-TARGETDURATION:6", true}, // BOM, blank
        {"http://h/a", "", "#EXTM3U\n#EXT-X-VERSION:3\nseg.ts\n", false}, // lone tag: type?
        {"http://h/a", "audio/mpegurl", "#EXTM3U\n#EXT-X-VERSION:3\n", true},
        {"http://h/a", " Application/X-MpegURL ; charset=utf-8", "#EXTM3U\n#EXT-X-A\n", true},
        {"http://h/A.M3U8#frag", "", "#EXTM3U\n#EXT-X-VERSION:3\n", true},
        {"http://h/a.m3u8?x=.mp3", "", "#EXTM3U\n#EXT-X-VERSION:3\n", true},
        {"http://h/a.mp3?x=.m3u8", "", "#EXTM3U\n#EXT-X-VERSION:3\n", false},
        {"http://h.m3u8", "", "#EXTM3U\n#EXT-X-VERSION:3\n", false}, // a host, not a path
        // Never without the tags, whatever the address or type says.
        {"http://h/a.m3u8", "application/vnd.apple.mpegurl", "", false},
        {"http://h/a.m3u8", "application/vnd.apple.mpegurl", "#EXTM3U", false},
        {"http://h/a.m3u8", "application/vnd.apple.mpegurl", "#EXTM3U\n#EXTINF:-1,x\nhttp://s\n",
         false},
        {"http://h/a.m3u8", "", "#EXTM3U\n #EXT-X-TARGETDURATION:6\n", false}, // indented tag
        {"http://h/a.m3u8", "", "#EXTM3U\n#ext-x-targetduration:6\n",
         false}, // tags are case-sensitive
        {"http://h/a.m3u8", "", "#EXTM3UX\n#EXT-X-TARGETDURATION:6\n", false},
        {"http://h/a.m3u8", "", "x\n#EXTM3U\n#EXT-X-TARGETDURATION:6\n", false},
        {"http://h/a.m3u8", "", " #EXTM3U\n#EXT-X-TARGETDURATION:6\n", false}, // indented head
        {"http://h/a.m3u8", "", "#EXT-X-TARGETDURATION:6\n#EXTM3U\n", false},
        {"http://h/a.m3u8", "", std::string_view("#EXTM3U\0\n#EXT-X-A", 17), false},
        {"", "", "#EXTM3U\n#EXT-X-", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::isHlsPlaylist(c.address, c.type, c.body), c.hls)
            << c.address << " | " << c.type << " | " << c.body;
    }
    EXPECT_FALSE(tl::isHlsContentType("audio/mpegurlx"));
    EXPECT_FALSE(tl::isHlsContentType("text/plain"));
    EXPECT_FALSE(tl::hasHlsPathExtension("http://h/a.m3u"));
    EXPECT_FALSE(tl::hasHlsPathExtension("m3u8"));
    EXPECT_TRUE(tl::hasHlsPathExtension("/x.m3u8"));
}

TEST(PlaylistExtension, Rule) {
    const struct {
        const char* address;
        const char* ext;
    } cases[] = {
        {"http://h/a.pls", ".pls"},
        {"http://h/a.pls?x=1", ".pls?x=1"},
        {"http://h.example/dir", ".example/dir"}, // "/" does not end an extension
        {"http://h.example:80/dir", ""},
        {"c:\\dir.x\\file", ""},
        {"noext", ""},
        {"trailing.", "."},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tl::PlaylistExtension(QString::fromUtf8(c.address)), c.ext) << c.address;
    }
}

TEST(FindAsxReference, Scan) {
    const struct {
        const char* name;
        const char* text;
        const char* expected;
    } cases[] = {
        {"plain", "<ref href=\"http://a/x.asf\"/>", "http://a/x.asf"},
        {"mixed case tag", "<Ref Href=\"http://a\" />", "http://a"},
        {"first usable line",
         "<asx>\n<title>t</title>\n<REF HREF=\"http://1\"/>\n"
         "<REF HREF=\"http://2\"/>",
         "http://1"},
        {"gif banner skipped", "<ref href=\"http://b/banner.gif\"/>\r\n<ref href=\"http://s\"/>",
         "http://s"},
        {"upper-case gif skipped", "<ref href=\"http://b/BANNER.GIF\"/>\n<ref href=\"http://s\"/>",
         "http://s"},
        {"mms gif is a stream", "<ref href=\"MMS://b/banner.gif\"/>\n<ref href=\"http://s\"/>",
         "MMS://b/banner.gif"},
        {"gif with query is not an image", "<ref href=\"http://b/x.gif?a=1\"/>",
         "http://b/x.gif?a=1"},
        {"only banners", "<ref href=\"http://b/1.gif\"/>\n<ref href=\"http://b/2.gif\"/>", ""},
        {"empty reference skipped", "<ref href=\"\"/>\n<ref href=\"http://s\"/>", "http://s"},
        {"no closing quote ends the scan", "<ref href=\"http://broken/>\n<ref href=\"http://s\"/>",
         ""},
        {"closing quote as last character", "<ref href=\"http://a\"\n<ref href=\"http://s\"/>", ""},
        {"opening quote as last character", "<ref href=\"\n<ref href=\"http://s\"/>", ""},
        {"no quotes at all", "<ref href=http://a/>\n<ref href=\"http://s\"/>", ""},
        {"words must touch", "<ref  href=\"http://a\"/>\n<ref href=\"http://s\"/>", "http://s"},
        {"single quotes not used", "<ref href='http://a'/>", ""},
        {"non-ASCII before the tag", "\xC3\x9F\xC3\x9F <ref href=\"http://a\"/>", "http://a"},
        {"non-ASCII in the address", "<ref href=\"http://a/\xC3\x9F\"/>", "http://a/\xC3\x9F"},
        {"no reference", "<asx><entry/></asx>", ""},
        {"empty", "", ""},
        {"just the words", "REF HREF", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FindAsxReference(QString::fromUtf8(c.text)), QString::fromUtf8(c.expected))
            << c.name;
    }
}

} // namespace
