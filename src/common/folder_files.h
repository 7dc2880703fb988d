#pragma once
// Where a loader reads the files of one folder from: the folder on disk, or named byte arrays
// in memory (the unit and fuzz tests feed the loaders without touching the disk).
//
// Names are plain file names inside the folder. A name holding a path separator, or one of
// "." and "..", is treated as missing, so no name can reach a file outside the folder.
// Themes come from systems whose file names ignore case: when the exact name is missing, the
// file whose name equals it ignoring case is taken (of several, the first by code unit).
//
// Cheap to copy (the in-memory files are shared); immutable; any thread.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <map>
#include <memory>
#include <optional>

namespace tl {

class FolderFiles {
public:
    FolderFiles() = default;
    // folder ends with "/" (one is added otherwise); empty: the current folder.
    static FolderFiles onDisk(QString folder);
    static FolderFiles inMemory(std::map<QString, QByteArray> files);

    // The folder on disk ("" in memory).
    const QString& folder() const { return folder_; }

    // The file opened for reading, at its start; nullptr when it is missing or unreadable.
    std::unique_ptr<QIODevice> open(const QString& name) const;
    // The whole file; nullopt when it is missing or unreadable.
    std::optional<QByteArray> read(const QString& name) const;

    // Whether a name stays inside the folder: no separator, not "." or "..", not empty.
    static bool isPlainName(const QString& name);

private:
    // The folder's file named like `name` ignoring case, nullopt when there is none.
    std::optional<QString> nameIgnoringCase(const QString& name) const;

    QString folder_;
    std::shared_ptr<const std::map<QString, QByteArray>> memory_;
};

} // namespace tl
