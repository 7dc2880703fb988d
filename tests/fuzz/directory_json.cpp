// The JSON directory's station list and server list. Checks: at most the records asked for
// (and 255), each with a playable one-line address and one-line fields; server names are host
// names (a name that could carry a path, a user or a query never becomes part of an address).
//
// Input: one byte for the count, then the reply.

#include "directory/directory_page.h"

#include "fuzz_support.h"

using tl::fuzz::check;

namespace {

bool oneLine(const QString& s) {
    return tl::fuzz::oneLine(s) && s == s.trimmed();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int count = data[0] == 255 ? 100000 : data[0];
    const QByteArray json = tl::fuzz::bytes(tl::fuzz::view(data + 1, size - 1));
    if (const auto records = tl::ParseRadioBrowserStations(json, count)) {
        check(static_cast<int>(records->size()) <= std::min(count, tl::kMaxSearchResults),
              "no more records than asked for");
        for (const tl::TStat& r : *records) {
            check(!r.Url.isEmpty() && oneLine(r.Url), "a playable one-line address");
            check(oneLine(r.Name) && oneLine(r.OnAir) && oneLine(r.Detail) && oneLine(r.Quality),
                  "one-line fields");
        }
    }
    for (const QString& name : tl::ParseRadioBrowserServers(json)) {
        check(!name.isEmpty() && name.size() <= 253, "a host name's length");
        for (const QChar c : name) {
            check(c.isLetterOrNumber() || c == u'.' || c == u'-' || c == u':', "host name text");
        }
    }
    return 0;
}
