#include "common/folder_files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace tl {

FolderFiles FolderFiles::onDisk(QString folder) {
    FolderFiles files;
    if (!folder.isEmpty() && !folder.endsWith(u'/')) {
        folder += u'/';
    }
    files.folder_ = std::move(folder);
    return files;
}

FolderFiles FolderFiles::inMemory(std::map<QString, QByteArray> files) {
    FolderFiles result;
    result.memory_ = std::make_shared<const std::map<QString, QByteArray>>(std::move(files));
    return result;
}

bool FolderFiles::isPlainName(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0));
}

std::optional<QString> FolderFiles::nameIgnoringCase(const QString& name) const {
    // Sorted by code unit, so the first match is the same on every run and file system.
    QStringList names;
    if (memory_) {
        for (const auto& [each, bytes] : *memory_) {
            names << each;
        }
    } else {
        names = QDir(folder_.isEmpty() ? QStringLiteral(".") : folder_)
                    .entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
    }
    std::sort(names.begin(), names.end());
    for (const QString& each : names) {
        if (each.compare(name, Qt::CaseInsensitive) == 0 && isPlainName(each)) {
            return each;
        }
    }
    return std::nullopt;
}

std::unique_ptr<QIODevice> FolderFiles::open(const QString& name) const {
    if (!isPlainName(name)) {
        return nullptr;
    }
    if (memory_) {
        auto it = memory_->find(name);
        if (it == memory_->end()) {
            const std::optional<QString> other = nameIgnoringCase(name);
            it = other ? memory_->find(*other) : memory_->end();
        }
        if (it == memory_->end()) {
            return nullptr;
        }
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(it->second);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    auto file = std::make_unique<QFile>(folder_ + name);
    if (!file->exists()) {
        if (const std::optional<QString> other = nameIgnoringCase(name)) {
            file->setFileName(folder_ + *other);
        }
    }
    if (!file->open(QIODevice::ReadOnly) || !QFileInfo(*file).isFile()) {
        return nullptr;
    }
    return file;
}

std::optional<QByteArray> FolderFiles::read(const QString& name) const {
    const std::unique_ptr<QIODevice> device = open(name);
    if (!device) {
        return std::nullopt;
    }
    QByteArray bytes = device->readAll();
    if (auto* file = qobject_cast<QFile*>(device.get());
        file != nullptr && file->error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace tl
