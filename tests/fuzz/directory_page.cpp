// The HTML directories' result page scanners. Checks: no more records than asked for (and
// never more than 255), every link below its directory's root and on its server, every field
// one line.
//
// Input: one byte choosing the service and the count, then the page.

#include "directory/directory_page.h"

#include "fuzz_support.h"

#include <QUrl>

using tl::fuzz::check;
using tl::fuzz::oneLine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const tl::DirectoryRoots roots{QStringLiteral("http://s.example/"),
                                   QStringLiteral("http://x.example")};
    const int service = data[0] % 2 == 0 ? tl::kServiceShoutcast : tl::kServiceXiph;
    const int count = (data[0] >> 1) == 127 ? 100000 : data[0] >> 1;
    const QStringList lines = tl::PageLines(tl::fuzz::bytes(tl::fuzz::view(data + 1, size - 1)));
    for (const QString& line : lines) {
        check(oneLine(line), "page lines are lines");
    }
    const std::vector<tl::TStat> records = tl::ParseDirectoryPage(lines, service, count, roots);
    check(static_cast<int>(records.size()) <= std::min(count, tl::kMaxSearchResults),
          "no more records than asked for");
    // Below the root means after its "/": the Xiph base has none of its own, and text right
    // after a host ("@other", ":port", ".other") would name another server.
    const QString& root = service == tl::kServiceShoutcast ? roots.shoutcastRoot : roots.xiphBase;
    const QString below = root.endsWith(u'/') ? root : root + u'/';
    const QUrl rootUrl(root);
    for (const tl::TStat& r : records) {
        check(r.Url.startsWith(below), "a result link stays below its directory");
        const QUrl url(r.Url);
        check(!url.isValid() || (url.host() == rootUrl.host() && url.port() == rootUrl.port() &&
                                 url.userInfo().isEmpty()),
              "a result link names its directory's server");
        check(oneLine(r.Url) && oneLine(r.Name) && oneLine(r.OnAir) && oneLine(r.Detail) &&
                  oneLine(r.Quality),
              "every field is one line");
    }
    for (const int other : {int{tl::kServiceWebTv}, int{tl::kServiceRadioBrowser}, -1, 99}) {
        check(tl::ParseDirectoryPage(lines, other, count, roots).empty(), "other services: none");
    }
    return 0;
}
