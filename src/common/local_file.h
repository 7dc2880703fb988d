#pragma once
// Reading a file of the program's own (settings, favourites, lists, themes) without letting a
// FIFO, a device or a huge file stall or flood the program: opened without blocking, read
// only when it is a regular file, and only up to a size that fits its purpose. Any thread.

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace tl {

inline constexpr int64_t kMaxFavouritesBytes = int64_t{64} << 20;
inline constexpr int64_t kMaxListBytes = int64_t{4} << 20; // autorec.txt, theme files
inline constexpr int64_t kMaxSettingsBytes = int64_t{4} << 20;

struct LocalFile {
    enum class Status { Ok, Missing, NotRegular, TooLarge, Failed };
    Status status = Status::Missing;
    QByteArray bytes; // Ok only
    // For a failure, as a user reads it ("is not a regular file", "is larger than 4 MB").
    QString error() const;
};

// The bytes of `path` when it is a regular file of at most `maxBytes`; Missing when nothing
// is there (the caller's usual fallback), otherwise the reason it was not read.
LocalFile readLocalFile(const QString& path, int64_t maxBytes);

} // namespace tl
