#pragma once
// Album art for the playing title: a web shop's search page scanned for the first product
// image, then a keyless music catalogue; the image found is kept as image.jpg in the program
// folder and handed to the player's art box.
//
// AlbumArtLookup lives on the UI thread; its downloads run on an HttpGrabber worker and
// complete on the UI thread. The newest title wins: a new request cancels the one in flight
// and any answer that belongs to an older title is dropped.

#include "common/http_client.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

namespace tl {

class IniFile;

// config.ini, section [AlbumArt].
struct AlbumArtConfig {
    bool online = true; // "Online": 0 turns every network lookup off
    QString shopHost;   // "ShopHost": the shop's search page; empty: no shop lookup
    QString imageHost;  // "ImageHost": where the shop's product images live
    QString catalogueUrl = QStringLiteral(
        "https://itunes.apple.com/search"); // "CatalogueUrl": keyless catalogue; empty: none
    std::chrono::milliseconds timeout{15000};
    static AlbumArtConfig read(const IniFile& ini);
};

inline constexpr qsizetype kMaxArtPageBytes = 2 * 1024 * 1024;
inline constexpr qsizetype kMaxArtImageBytes = 4 * 1024 * 1024;
inline constexpr char kShopUserAgent[] = "JEDI-VCL";

// "http://<host>/s/ref=nb_ss_m?url=search-alias%3Dpopular&field-keywords=<title>&x=0&y=0",
// the title escaped as a query value.
QString ShopSearchUrl(const QString& host, const QString& title);

// The first line holding src=" followed at once by "http://<imageHost>/images": the text
// between the line's first src=" (which may be an earlier one) and the next double quote.
// Empty when no line matches.
QString FindAlbumArtAddress(const QByteArray& page, const QString& imageHost);

// The address's extension (from its last point, when no ':' or '\' follows it) is exactly
// ".jpg" or ".png".
bool HasAlbumArtExtension(const QString& address);

// "Artist - Title" split at the first " - "; nullopt when either side is empty, or the whole
// title is empty or the station's name.
struct SongKey {
    QString artist;
    QString title;
    QString cacheKey() const; // "artist|title", lower case, blanks simplified
};
std::optional<SongKey> SplitSongTitle(const QString& streamTitle, const QString& stationName);

// The catalogue's search address for one song (one result, songs only).
QString CatalogueSearchUrl(const QString& base, const SongKey& song);

// The image address of a catalogue reply: the first result's "artworkUrl100" raised to
// 600 x 600, or a search result's "album"."cover_big". Found: the address; not found: an
// empty text; a reply that is not such a JSON document: nullopt.
std::optional<QString> ParseCatalogueReply(const QByteArray& json);

// Keeps the bytes as path when they decode as an image: written beside it under another
// name and renamed over it, so a reader never sees a partial file.
bool StoreAlbumArt(const QByteArray& bytes, const QString& path);

// The catalogue answers already had, in <folder>: "<hash>.img" holds the image of a song,
// "<hash>.miss" says that the catalogue knows none. Oldest entries go beyond kMaxEntries.
class AlbumArtCache {
public:
    static constexpr int kMaxEntries = 300;
    explicit AlbumArtCache(QString folder) : folder_(std::move(folder)) {}
    enum class Hit { None, Image, Miss };
    Hit find(const QString& key, QByteArray* image = nullptr) const;
    void storeImage(const QString& key, const QByteArray& image);
    void storeMiss(const QString& key);

private:
    QString fileFor(const QString& key, const char* suffix) const;
    void trim();
    QString folder_;
};

class AlbumArtLookup : public QObject {
    Q_OBJECT
public:
    // appPath ends with "/". image.jpg and the cache folder "albumart/" live there.
    AlbumArtLookup(QString appPath, AlbumArtConfig config, QObject* parent = nullptr);
    ~AlbumArtLookup() override;

    // The art box: show the image file, or clear it. Called on the UI thread.
    std::function<void(const QString& path)> loadArt;
    std::function<void()> clearArt;
    // The playing station's own picture (a file), shown when nothing is found; empty: none.
    std::function<QString()> stationPicture;

    // A new title: cancels what runs and looks this title up.
    void request(const QString& title, const QString& stationName = {});
    void cancel();

    QString imagePath() const { return appPath_ + QStringLiteral("image.jpg"); }
    // A lookup waits for an answer.
    bool busy() const { return stage_ != Stage::Idle; }
    // Requests sent so far (for tests and the log).
    int requestsSent() const { return requestsSent_; }

private:
    enum class Stage { Idle, ShopPage, ShopImage, Catalogue, CatalogueImage };
    void get(Stage stage, const QString& url, const QString& userAgent, qsizetype maxBytes);
    void onFinished(const QByteArray& body, bool ok);
    void tryCatalogue();
    void nothingFound();
    void show(const QByteArray& image);

    QString appPath_;
    AlbumArtConfig config_;
    AlbumArtCache cache_;
    HttpGrabber grabber_;
    Stage stage_ = Stage::Idle;
    QString title_, stationName_;
    std::optional<SongKey> song_;
    int requestsSent_ = 0;
};

} // namespace tl
