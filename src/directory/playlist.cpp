#include "directory/playlist.h"

#include "common/hls_detect.h"
#include "common/http_client.h"
#include "common/ini_file.h"
#include "common/text.h"

#include <QFile>

#include <chrono>
#include <string_view>

namespace tl {

namespace {

// Long enough for a slow playlist server, short enough that the window (which waits for the
// download) never freezes for long.
constexpr std::chrono::milliseconds kPlaylistTimeout{5000};

const QString kPlsFileName = QStringLiteral("pls.dat");

// Upper-cases ASCII letters only, so positions in the result match the original text (a full
// Unicode mapping may change the length, e.g. for U+00DF).
QString asciiUpper(QStringView s) {
    QString out = s.toString();
    for (QChar& c : out) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(static_cast<char16_t>(c.unicode() - (u'a' - u'A')));
        }
    }
    return out;
}

QByteArray cutAtNul(QByteArray bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0) {
        bytes.truncate(nul);
    }
    return bytes;
}

// A playlist is text; a stream's first bytes are not (frame headers, tag sizes).
bool looksLikeText(const QByteArray& bytes) {
    for (const char c : bytes.left(512)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x09 || (u > 0x0D && u < 0x20) || u == 0x7F) {
            return false;
        }
    }
    return true;
}

QString decode(const QByteArray& bytes) {
    return decodeNetworkText(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace

PlaylistReply DownloadPlaylist(const QString& address) {
    DownloadOptions options;
    options.userAgent = QString::fromLatin1(kPlaylistUserAgent);
    options.maxBytes = kPlaylistMaxBytes;
    options.timeout = kPlaylistTimeout;
    options.noCache = true;
    const DownloadResult reply = downloadOnce(address, options);
    if (!reply.ok()) {
        return {};
    }
    return {cutAtNul(reply.body), reply.contentType};
}

QByteArray DownloadText(const QString& address) {
    return DownloadPlaylist(address).Body;
}

bool IsDirectStreamAddress(QStringView address) {
    return address.startsWith(u"http://") && address.count(u'.') >= 3 && address.count(u':') >= 2;
}

QString PlaylistExtension(QStringView address) {
    const qsizetype dot = address.lastIndexOf(u'.');
    if (dot < 0) {
        return {};
    }
    const QStringView tail = address.mid(dot);
    if (tail.contains(u':') || tail.contains(u'\\')) {
        return {};
    }
    return tail.toString();
}

QString FindAsxReference(QStringView text) {
    static const QString kRefHref = QStringLiteral("REF HREF");
    const QStringList lines = splitLines(text);
    for (const QString& line : lines) {
        const QString upper = asciiUpper(line);
        // Positions below are 1-based, as in the document format's description.
        const qsizetype length = line.size();
        const qsizetype p = upper.indexOf(kRefHref) + 1;
        if (p == 0) {
            continue;
        }
        // The opening quote, searched from p up to but not including the last character.
        qsizetype start = p;
        for (qsizetype k = p; k <= length - 1; ++k) {
            if (upper[k - 1] == u'"') {
                start = k + 1;
                break;
            }
        }
        // rest: length - start characters from start, i.e. ending before the last character.
        const qsizetype restLength = length - start;
        const QStringView rest =
            restLength > 0 ? QStringView(line).mid(start - 1, restLength) : QStringView();
        const qsizetype q = rest.indexOf(u'"'); // closing quote's 1-based position minus one
        if (q == 0) {
            continue;
        }
        const QString candidate = q > 0 ? line.mid(start - 1, q) : QString();
        if (candidate.startsWith(u"MMS://", Qt::CaseInsensitive) ||
            PlaylistExtension(candidate).compare(u".GIF", Qt::CaseInsensitive) != 0) {
            return candidate;
        }
        // An image (a banner): try the next line.
    }
    return {};
}

QString ResolvePlaylistDocument(const QString& address, const QByteArray& bytes,
                                const QString& contentType) {
    const QByteArray stored = cutAtNul(bytes);
    const QString document = decode(stored);

    const QString extension = PlaylistExtension(address);
    // The first line that names something: an extended playlist opens with "#EXTM3U" and
    // "#EXTINF" comments, which are not addresses. The line is kept as written.
    const auto m3uEntry = [&document] {
        for (const QString& line : splitLines(document)) {
            const QString trimmed = line.trimmed();
            if (!trimmed.isEmpty() && !trimmed.startsWith(u'#')) {
                return line;
            }
        }
        return QString();
    };
    const auto plsEntry = [&stored] {
        const IniFile ini = IniFile::fromBytes(stored);
        QString value = ini.value(u"playlist", u"file1");
        return value.trimmed().isEmpty() ? ini.value(u"playlist", u"file2") : value;
    };
    QString entry;
    const std::string_view body(stored.constData(), static_cast<std::size_t>(stored.size()));
    if (isHlsPlaylist(address.toStdString(), contentType.toStdString(), body)) {
        // A live playlist of media segments (or of variants): the demuxer follows it itself.
        entry = address;
    } else if (extension == u".m3u") {
        entry = m3uEntry();
    } else if (extension == u".pls") {
        entry = plsEntry();
    } else if (extension == u".asx") {
        entry = FindAsxReference(document);
    } else if (document.contains(u"<ASX", Qt::CaseInsensitive)) {
        entry = FindAsxReference(document);
    } else if (document.contains(u"[REFERENCE]", Qt::CaseInsensitive)) {
        entry = IniFile::fromBytes(stored).value(u"Reference", u"Ref1");
    } else if (document.contains(u"[playlist]", Qt::CaseInsensitive)) {
        // A playlist behind an address whose extension does not say so ("a.pls?id=3", "A.PLS").
        entry = plsEntry();
    } else if (looksLikeText(stored)) {
        const QString line = m3uEntry();
        entry = line.contains(u"://") ? line : QString();
    } else {
        // The address answered with audio, not with a playlist: it is the stream itself
        // ("http://radio.example.com/live.mp3" has neither a port nor a playlist extension).
        entry = address;
    }
    return entry;
}

PlaylistResolver::PlaylistResolver(QString appPath, Downloader downloader)
    : appPath_(std::move(appPath)), download_(std::move(downloader)) {
    if (!download_) {
        download_ = &DownloadPlaylist;
    }
}

PlaylistResult PlaylistResolver::ParsePlayList(const QString& address) const {
    PlaylistResult result;
    if (address.startsWith(u"mms://") || IsDirectStreamAddress(address)) {
        result.Url = address;
        result.StationUrl = address;
        return result;
    }

    const PlaylistReply reply = download_(address);
    const QByteArray text = cutAtNul(reply.Body);
    if (text.isEmpty()) {
        result.ConnectFailed = true;
        return result;
    }

    // The document is kept in the program folder under a fixed name; nothing from the network
    // takes part in naming the file.
    const QString plsPath = appPath_ + kPlsFileName;
    if (!writeFileAtomically(plsPath, text)) {
        result.Error = QStringLiteral("Cannot create file \"%1\".").arg(plsPath);
        return result;
    }

    QByteArray stored;
    {
        QFile file(plsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            result.Error = QStringLiteral("Cannot open file \"%1\".").arg(plsPath);
            return result;
        }
        stored = file.readAll();
    }
    result.Url = ResolvePlaylistDocument(address, stored, reply.ContentType);
    result.StationUrl = address;
    return result;
}

} // namespace tl
