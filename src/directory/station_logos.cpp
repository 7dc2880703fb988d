#include "directory/station_logos.h"

#include "common/http_client.h"
#include "directory/directory_query.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

namespace tl {

std::optional<QImage> DecodeLogo(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(8); // MiB: a lying header cannot make the decoder allocate more
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty() || declared.width() > kMaxLogoSide ||
        declared.height() > kMaxLogoSide) {
        return std::nullopt;
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() > kMaxLogoSide || image.height() > kMaxLogoSide) {
        return std::nullopt;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (image.width() > kLogoSide || image.height() > kLogoSide) {
        image = image.scaled(kLogoSide, kLogoSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QString LogoCache::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/tunelark/logos/");
}

QString LogoCache::fileFor(const QString& url) const {
    return folder_ +
           QString::fromLatin1(
               QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".png");
}

std::optional<QImage> LogoCache::find(const QString& url) const {
    QFile f(fileFor(url));
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxLogoBytes) {
        return std::nullopt;
    }
    return DecodeLogo(f.readAll());
}

void LogoCache::store(const QString& url, const QImage& logo) const {
    QDir().mkpath(folder_);
    QSaveFile f(fileFor(url));
    if (!f.open(QIODevice::WriteOnly) || !logo.save(&f, "PNG") || !f.commit()) {
        return;
    }
    trim();
}

void LogoCache::trim() const {
    QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Time);
    qint64 total = 0;
    for (const QFileInfo& fi : files) {
        total += fi.size();
    }
    // Newest first: remove from the end.
    while (total > maxBytes_ && !files.isEmpty()) {
        total -= files.back().size();
        QFile::remove(files.back().absoluteFilePath());
        files.removeLast();
    }
}

StationLogos::StationLogos(LogoCache cache, QObject* parent)
    : QObject(parent), cache_(std::move(cache)), guard_(std::make_shared<ReplyGuard>(this)) {}

StationLogos::~StationLogos() {
    guard_->release();
    stop_.request_stop();
}

void StationLogos::request(const QString& url) {
    const QString scheme = QUrl(url).scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || asked_.contains(url)) {
        return;
    }
    asked_.insert(url, true);
    if (const std::optional<QImage> cached = cache_.find(url)) {
        if (onReady) {
            onReady(url, *cached);
        }
        return;
    }
    queue_.push_back(url);
    startNext();
}

void StationLogos::startNext() {
    while (inFlight_ < kMaxParallel && !queue_.empty()) {
        const QString url = queue_.front();
        queue_.pop_front();
        ++inFlight_;
        ++sent_;
        startBackgroundTask(
            [this, guard = guard_, url, cache = cache_](std::stop_token stop) {
                DownloadOptions o;
                o.userAgent = QString::fromLatin1(kRadioBrowserUserAgent);
                o.maxBytes = static_cast<std::size_t>(kMaxLogoBytes);
                o.timeout = kTimeout;
                o.connectTimeout = kTimeout;
                const DownloadResult r = downloadOnce(url, o, stop);
                std::optional<QImage> logo;
                if (r.ok() && !r.truncated && r.httpStatus >= 200 && r.httpStatus < 300) {
                    logo = DecodeLogo(r.body);
                }
                if (logo && !stop.stop_requested()) {
                    cache.store(url, *logo);
                }
                guard->post([this, url, logo] {
                    --inFlight_;
                    if (logo && onReady) {
                        onReady(url, *logo);
                    }
                    startNext();
                });
            },
            stop_);
    }
}

} // namespace tl
