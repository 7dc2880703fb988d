#pragma once
// Playlist resolution: decides whether a station address is a stream or a playlist document
// (PLS, M3U, ASX, reference file) and yields the stream address to open.
//
// Runs on the UI thread. The download is bounded by a short time-out so the window never
// freezes for long; the downloaded text is kept in pls.dat in the program folder.

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>

namespace tl {

inline constexpr char kPlaylistUserAgent[] = "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.0)";
inline constexpr int kPlaylistMaxBytes = 32000;

// One read of at most 32000 bytes with the agent text and no-cache headers, cut before the
// first NUL. Empty on any failure.
QByteArray DownloadText(const QString& address);

// What a playlist download brought: the body (as DownloadText cuts it) and the reply's
// Content-Type. A downloader that knows only the body converts implicitly.
struct PlaylistReply {
    PlaylistReply() = default;
    PlaylistReply(QByteArray body, QString contentType = {}) // NOLINT: implicit on purpose
        : Body(std::move(body)), ContentType(std::move(contentType)) {}
    QByteArray Body;
    QString ContentType;
};

// DownloadText with the reply's Content-Type; the resolver's default downloader.
PlaylistReply DownloadPlaylist(const QString& address);

// "http://" + at least three "." + at least two ":".
bool IsDirectStreamAddress(QStringView address);

// From the last "." to the end, unless a ":" or "\" follows that "."; otherwise empty.
QString PlaylistExtension(QStringView address);

// First usable "REF HREF" target of an ASX document (banners ending in .gif are skipped).
QString FindAsxReference(QStringView text);

// The address a downloaded document resolves to, as ParsePlayList() reads it back from
// pls.dat: `stored` is the document (up to its first NUL), `address` where it came from.
// Empty when the document names nothing usable. An HLS playlist resolves to its own address
// (contentType: the reply's Content-Type, when known).
QString ResolvePlaylistDocument(const QString& address, const QByteArray& stored,
                                const QString& contentType = {});

struct PlaylistResult {
    QString Url;                // the resolved address; empty when nothing usable was found
    QString StationUrl;         // the address as given; empty when the download failed
    bool ConnectFailed = false; // nothing received: the caller shows "Can't connect to internet!"
    QString Error;              // pls.dat could not be written: nothing is to be played
};

class PlaylistResolver {
public:
    using Downloader = std::function<PlaylistReply(const QString& address)>;

    // appPath ends with "/". The downloader defaults to DownloadPlaylist.
    explicit PlaylistResolver(QString appPath, Downloader downloader = {});

    // An HLS playlist (see common/hls_detect.h), behind the address or as a list's entry, is
    // a stream of its own: its address is the result, not its first line.
    PlaylistResult ParsePlayList(const QString& address) const;

private:
    QString appPath_;
    Downloader download_;
};

} // namespace tl
