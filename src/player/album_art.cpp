#include "player/album_art.h"

#include "common/ini_file.h"
#include "common/text.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>

namespace tl {

namespace {

QString escapedValue(const QString& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

// Says what the program is to the catalogue's operators.
QString catalogueUserAgent() {
    return QStringLiteral("Tunelark/" TUNELARK_VERSION " (internet radio player; album art)");
}

QString programFileName() {
    const QString name = QCoreApplication::instance()
                             ? QFileInfo(QCoreApplication::applicationFilePath()).fileName()
                             : QString();
    return name.isEmpty() ? QStringLiteral("tunelark") : name;
}

} // namespace

AlbumArtConfig AlbumArtConfig::read(const IniFile& ini) {
    AlbumArtConfig c;
    c.online = ini.intValue(u"AlbumArt", u"Online", 1) != 0;
    c.shopHost = ini.value(u"AlbumArt", u"ShopHost").trimmed();
    c.imageHost = ini.value(u"AlbumArt", u"ImageHost").trimmed();
    if (const std::optional<QString> url = ini.find(u"AlbumArt", u"CatalogueUrl"))
        c.catalogueUrl = url->trimmed();
    return c;
}

QString ShopSearchUrl(const QString& host, const QString& title) {
    return QStringLiteral("http://") + host +
           QStringLiteral("/s/ref=nb_ss_m?url=search-alias%3Dpopular&field-keywords=") +
           escapedValue(title) + QStringLiteral("&x=0&y=0");
}

QString FindAlbumArtAddress(const QByteArray& page, const QString& imageHost) {
    if (imageHost.isEmpty())
        return {};
    const QString marker = QStringLiteral("src=\"http://") + imageHost + QStringLiteral("/images");
    for (const QString& line : splitLines(decodeNetworkText(
             std::string_view(page.constData(), static_cast<std::size_t>(page.size()))))) {
        if (!line.contains(marker))
            continue;
        const qsizetype start = line.indexOf(QStringLiteral("src=\"")) + 5;
        const qsizetype end = line.indexOf(QLatin1Char('"'), start);
        return end < 0 ? line.mid(start) : line.mid(start, end - start);
    }
    return {};
}

bool HasAlbumArtExtension(const QString& address) {
    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString ext = address.mid(dot);
    if (ext.contains(QLatin1Char(':')) || ext.contains(QLatin1Char('\\')))
        return false;
    return ext == u".jpg" || ext == u".png";
}

QString SongKey::cacheKey() const {
    return artist.simplified().toLower() + u'|' + title.simplified().toLower();
}

std::optional<SongKey> SplitSongTitle(const QString& streamTitle, const QString& stationName) {
    const QString whole = streamTitle.simplified();
    if (whole.isEmpty() || whole.compare(stationName.simplified(), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    const qsizetype cut = whole.indexOf(QStringLiteral(" - "));
    if (cut < 0)
        return std::nullopt;
    SongKey key{whole.left(cut).trimmed(), whole.mid(cut + 3).trimmed()};
    if (key.artist.isEmpty() || key.title.isEmpty())
        return std::nullopt;
    return key;
}

QString CatalogueSearchUrl(const QString& base, const SongKey& song) {
    return base + (base.contains(u'?') ? u'&' : u'?') + QStringLiteral("term=") +
           escapedValue(song.artist + u' ' + song.title) + QStringLiteral("&entity=song&limit=1");
}

std::optional<QString> ParseCatalogueReply(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.contains(u"results")) {
        if (!root.value(u"results").isArray())
            return std::nullopt;
        const QJsonArray results = root.value(u"results").toArray();
        if (results.isEmpty())
            return QString();
        QString art = results.first().toObject().value(u"artworkUrl100").toString();
        const qsizetype size = art.lastIndexOf(QStringLiteral("100x100"));
        if (size >= 0)
            art.replace(size, 7, QStringLiteral("600x600"));
        return art;
    }
    if (root.contains(u"data")) {
        if (!root.value(u"data").isArray())
            return std::nullopt;
        const QJsonArray data = root.value(u"data").toArray();
        if (data.isEmpty())
            return QString();
        return data.first().toObject().value(u"album").toObject().value(u"cover_big").toString();
    }
    return std::nullopt;
}

bool StoreAlbumArt(const QByteArray& bytes, const QString& path) {
    if (bytes.isEmpty() || bytes.size() > kMaxArtImageBytes)
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    // The decoded size is bounded too: a small file may claim a huge picture.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > 4096 || size.height() > 4096)
        return false;
    if (reader.read().isNull())
        return false;
    return writeFileAtomically(path, bytes);
}

// ---- cache --------------------------------------------------------------------------------

QString AlbumArtCache::fileFor(const QString& key, const char* suffix) const {
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1);
    return folder_ + QString::fromLatin1(hash.toHex()) + QString::fromLatin1(suffix);
}

AlbumArtCache::Hit AlbumArtCache::find(const QString& key, QByteArray* image) const {
    QFile file(fileFor(key, ".img"));
    if (file.open(QIODevice::ReadOnly)) {
        if (image)
            *image = file.read(kMaxArtImageBytes);
        return Hit::Image;
    }
    return QFileInfo::exists(fileFor(key, ".miss")) ? Hit::Miss : Hit::None;
}

void AlbumArtCache::storeImage(const QString& key, const QByteArray& image) {
    if (!QDir().mkpath(folder_))
        return;
    writeFileAtomically(fileFor(key, ".img"), image);
    QFile::remove(fileFor(key, ".miss"));
    trim();
}

void AlbumArtCache::storeMiss(const QString& key) {
    if (!QDir().mkpath(folder_))
        return;
    writeFileAtomically(fileFor(key, ".miss"), QByteArray());
    trim();
}

void AlbumArtCache::trim() {
    QFileInfoList entries = QDir(folder_).entryInfoList(
        {QStringLiteral("*.img"), QStringLiteral("*.miss")}, QDir::Files, QDir::Time);
    for (qsizetype i = kMaxEntries; i < entries.size(); ++i)
        QFile::remove(entries[i].filePath());
}

// ---- lookup ------------------------------------------------------------------------------

AlbumArtLookup::AlbumArtLookup(QString appPath, AlbumArtConfig config, QObject* parent)
    : QObject(parent), appPath_(std::move(appPath)), config_(std::move(config)),
      cache_(appPath_ + QStringLiteral("albumart/")) {
    connect(&grabber_, &HttpGrabber::finished, this,
            [this](const QByteArray& body, bool ok, const QString&) { onFinished(body, ok); });
}

AlbumArtLookup::~AlbumArtLookup() {
    cancel();
}

void AlbumArtLookup::cancel() {
    grabber_.cancel();
    stage_ = Stage::Idle;
}

void AlbumArtLookup::request(const QString& title, const QString& stationName) {
    // The grabber drops the answer of the request it cancels, so only this title answers.
    cancel();
    title_ = title;
    stationName_ = stationName;
    song_ = SplitSongTitle(title, stationName);
    if (!config_.online) {
        nothingFound();
        return;
    }
    if (!config_.shopHost.isEmpty() && !title.trimmed().isEmpty()) {
        get(Stage::ShopPage, ShopSearchUrl(config_.shopHost, title),
            QString::fromLatin1(kShopUserAgent), kMaxArtPageBytes);
        return;
    }
    tryCatalogue();
}

void AlbumArtLookup::get(Stage stage, const QString& url, const QString& userAgent,
                         qsizetype maxBytes) {
    stage_ = stage;
    DownloadOptions options;
    options.userAgent = userAgent;
    options.timeout = config_.timeout;
    options.grabberMaxBytes = static_cast<std::size_t>(maxBytes);
    ++requestsSent_;
    grabber_.get(url, options);
}

void AlbumArtLookup::onFinished(const QByteArray& body, bool ok) {
    const Stage stage = std::exchange(stage_, Stage::Idle);
    switch (stage) {
    case Stage::Idle:
        return;
    case Stage::ShopPage: {
        if (!ok)
            return; // no answer from the shop: the previous art stays
        const QString address = FindAlbumArtAddress(body, config_.imageHost);
        if (!HasAlbumArtExtension(address)) {
            tryCatalogue();
            return;
        }
        // The image request names the program's own file as its user agent.
        get(Stage::ShopImage, address, programFileName(), kMaxArtImageBytes);
        return;
    }
    case Stage::ShopImage:
        // A failed or broken download leaves the previous art and image.jpg as they were.
        if (ok)
            show(body);
        return;
    case Stage::Catalogue: {
        if (!ok || !song_)
            return;
        const std::optional<QString> address = ParseCatalogueReply(body);
        if (!address || address->isEmpty()) {
            if (address)
                cache_.storeMiss(song_->cacheKey());
            nothingFound();
            return;
        }
        const QUrl url(*address);
        if (url.scheme() != u"http" && url.scheme() != u"https") {
            nothingFound();
            return;
        }
        get(Stage::CatalogueImage, *address, catalogueUserAgent(), kMaxArtImageBytes);
        return;
    }
    case Stage::CatalogueImage:
        if (ok && song_ && StoreAlbumArt(body, imagePath())) {
            cache_.storeImage(song_->cacheKey(), body);
            if (loadArt)
                loadArt(imagePath());
        }
        return;
    }
}

void AlbumArtLookup::tryCatalogue() {
    if (!song_ || config_.catalogueUrl.isEmpty()) {
        nothingFound();
        return;
    }
    QByteArray image;
    switch (cache_.find(song_->cacheKey(), &image)) {
    case AlbumArtCache::Hit::Image:
        if (StoreAlbumArt(image, imagePath())) {
            if (loadArt)
                loadArt(imagePath());
            return;
        }
        break; // a damaged entry: ask again
    case AlbumArtCache::Hit::Miss:
        nothingFound();
        return;
    case AlbumArtCache::Hit::None:
        break;
    }
    get(Stage::Catalogue, CatalogueSearchUrl(config_.catalogueUrl, *song_), catalogueUserAgent(),
        kMaxArtPageBytes);
}

void AlbumArtLookup::nothingFound() {
    const QString picture = stationPicture ? stationPicture() : QString();
    if (!picture.isEmpty() && QFileInfo::exists(picture)) {
        if (loadArt)
            loadArt(picture);
        return;
    }
    if (clearArt)
        clearArt();
}

void AlbumArtLookup::show(const QByteArray& image) {
    if (StoreAlbumArt(image, imagePath()) && loadArt)
        loadArt(imagePath());
}

} // namespace tl
