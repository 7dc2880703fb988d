#pragma once
// Station logos for the search results: fetched off the UI thread with a bounded size, decoded
// safely, kept on disk so that a second search shows them at once.
//
// LogoCache is a folder of small PNG files named by a hash of the logo's address, bounded in
// total size (the oldest go first). StationLogos lives on the UI thread; each fetch is a
// background task (common/background_task.h) that nobody waits for, and its answer comes back
// through a ReplyGuard.

#include "common/background_task.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace tl {

inline constexpr qsizetype kMaxLogoBytes = 256 * 1024;
inline constexpr int kMaxLogoSide = 1024; // pixels, either side, as the file declares them
inline constexpr int kLogoSide = 48;      // stored size: a 24-pixel icon place at 2x

// The logo as stored: scaled to fit kLogoSide. nullopt for anything that is no image, or an
// image that declares more than kMaxLogoSide pixels a side (never decoded then).
std::optional<QImage> DecodeLogo(const QByteArray& bytes);

class LogoCache {
public:
    static constexpr qint64 kDefaultMaxBytes = 50ll * 1024 * 1024;
    // folder ends with "/"; it is made when the first logo is stored.
    explicit LogoCache(QString folder, qint64 maxBytes = kDefaultMaxBytes)
        : folder_(std::move(folder)), maxBytes_(maxBytes) {}
    // $XDG_CACHE_HOME/tunelark/logos/ (~/.cache when unset).
    static QString defaultFolder();

    std::optional<QImage> find(const QString& url) const;
    // Any thread. Written beside its name and renamed over it; then the oldest files go
    // until the folder is within its bound.
    void store(const QString& url, const QImage& logo) const;
    QString fileFor(const QString& url) const;

private:
    void trim() const;
    QString folder_;
    qint64 maxBytes_;
};

class StationLogos : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxParallel = 4;
    static constexpr std::chrono::milliseconds kTimeout{5000};

    explicit StationLogos(LogoCache cache, QObject* parent = nullptr);
    ~StationLogos() override;

    // Called on the owner's thread when a logo is at hand (at once when it is cached).
    std::function<void(const QString& url, const QImage& logo)> onReady;

    // http and https only; an address asked for before is not fetched again in this run.
    void request(const QString& url);
    // Fetches sent to the network so far (tests).
    int fetchesSent() const { return sent_; }

private:
    void startNext();

    LogoCache cache_;
    std::shared_ptr<ReplyGuard> guard_;
    std::stop_source stop_; // every fetch of this object
    std::deque<QString> queue_;
    QHash<QString, bool> asked_;
    int inFlight_ = 0;
    int sent_ = 0;
};

} // namespace tl
