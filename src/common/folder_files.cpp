#include "common/folder_files.h"

#include <QBuffer>
#include <QFile>

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

std::unique_ptr<QIODevice> FolderFiles::open(const QString& name) const {
    if (!isPlainName(name)) {
        return nullptr;
    }
    if (memory_) {
        const auto it = memory_->find(name);
        if (it == memory_->end()) {
            return nullptr;
        }
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(it->second);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    auto file = std::make_unique<QFile>(folder_ + name);
    if (!file->open(QIODevice::ReadOnly)) {
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
