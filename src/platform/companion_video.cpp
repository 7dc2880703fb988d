#include "platform/companion_video.h"

#include <QFile>

#include <dlfcn.h>

#include <cstring>
#include <string>

namespace tl {
namespace {

using GetFindDataExFn = uint8_t (*)(uintptr_t, char**, const char*, int32_t*, int32_t*, int32_t);
using CloseVideoExFn = void (*)(uintptr_t, int32_t*, int32_t*);
using SetVolumeExFn = void (*)(int32_t);

template <typename Fn> Fn lookup(void* handle, const char* name) {
    // dlsym hands back a data pointer; POSIX guarantees the round trip to a function pointer.
    void* symbol = ::dlsym(handle, name);
    Fn fn = nullptr;
    static_assert(sizeof(fn) == sizeof(symbol));
    std::memcpy(&fn, &symbol, sizeof(fn));
    return fn;
}

} // namespace

CompanionVideo::CompanionVideo(QString appPath) : appPath_(std::move(appPath)) {}

CompanionVideo::~CompanionVideo() {
    unload();
}

QString CompanionVideo::libraryPath() const {
    return appPath_ + QLatin1String(kCompanionLibraryName);
}

bool CompanionVideo::libraryExists() const {
    return QFile::exists(libraryPath());
}

QString CompanionVideo::errorCaption() {
    return QStringLiteral("Ошибка");
}

QString CompanionVideo::loadErrorText() const {
    return QStringLiteral("Невозможно загрузить библиотеку ") + libraryPath() + QStringLiteral(".");
}

QString CompanionVideo::missingFunctionText(const char* function) const {
    return QStringLiteral("Функция ") + QLatin1String(function) + QStringLiteral(" в библиотеке ") +
           libraryPath() + QStringLiteral(" не найдена.");
}

CompanionVideo::OpenResult CompanionVideo::open(uintptr_t window, const QString& address,
                                                const QString& info, int32_t& vx, int32_t& vy,
                                                int32_t volume) {
    OpenResult result;
    if (handle_ == nullptr) {
        handle_ = ::dlopen(QFile::encodeName(libraryPath()).constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (handle_ == nullptr) {
        result.error = loadErrorText();
        return result;
    }
    auto getFindData = lookup<GetFindDataExFn>(handle_, "GetFindDataEx");
    if (getFindData == nullptr) {
        result.error = missingFunctionText("GetFindDataEx");
        return result;
    }
    std::string addressBuffer = address.toStdString();
    const std::string infoText = info.toStdString();
    char* text = addressBuffer.data();
    result.ok = getFindData(window, &text, infoText.c_str(), &vx, &vy, volume) != 0;
    if (result.ok && text != nullptr && text[0] != '\0') {
        bool isNumber = false;
        const qint64 n = QByteArray(text).trimmed().toLongLong(&isNumber);
        if (isNumber) {
            result.bitsPerSecond = n;
        }
    }
    return result;
}

QString CompanionVideo::close(uintptr_t window, int32_t& vx, int32_t& vy) {
    if (handle_ == nullptr) {
        return loadErrorText();
    }
    auto closeVideo = lookup<CloseVideoExFn>(handle_, "CloseVideoEx");
    if (closeVideo == nullptr) {
        return missingFunctionText("CloseVideoEx");
    }
    closeVideo(window, &vx, &vy);
    return {};
}

void CompanionVideo::unload() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
        handle_ = nullptr;
    }
}

bool CompanionVideo::setVolume(int32_t volume) {
    if (handle_ == nullptr) {
        return false;
    }
    auto fn = lookup<SetVolumeExFn>(handle_, "SetVolumeEx");
    if (fn == nullptr) {
        return false;
    }
    fn(volume);
    return true;
}

} // namespace tl
