#pragma once
// The companion video library (larkvideo.so beside the program), loaded with dlopen when a
// video station starts and unloaded when it is closed. Its C entry points:
//   uint8_t GetFindDataEx(uintptr_t window, char** address, const char* info,
//                         int32_t* vx, int32_t* vy, int32_t volume);
//   void    CloseVideoEx(uintptr_t window, int32_t* vx, int32_t* vy);
//   void    SetVolumeEx(int32_t volume);
// On entry *address points at the stream address (a buffer this class owns); the library may
// point it at a bitrate text in bits per second that it owns. When a video ends the library
// sends the client message "WM_VIDEOCLOSED" to the window it was given.
//
// Used on the UI thread only.

#include <QString>

#include <cstdint>
#include <optional>

namespace tl {

inline constexpr char kCompanionLibraryName[] = "larkvideo.so";

class CompanionVideo {
public:
    struct OpenResult {
        bool ok = false;
        QString error; // the message to show when the library or entry is missing
        std::optional<qint64> bitsPerSecond; // the bitrate the library reported, if any
    };

    explicit CompanionVideo(QString appPath);
    ~CompanionVideo();
    CompanionVideo(const CompanionVideo&) = delete;
    CompanionVideo& operator=(const CompanionVideo&) = delete;

    QString libraryPath() const;
    bool libraryExists() const;
    bool isLoaded() const { return handle_ != nullptr; }

    // Loads the library (if needed) and calls GetFindDataEx.
    OpenResult open(uintptr_t window, const QString& address, const QString& info, int32_t& vx,
                    int32_t& vy, int32_t volume);
    // Calls CloseVideoEx when loaded; returns the message to show, empty when none.
    QString close(uintptr_t window, int32_t& vx, int32_t& vy);
    void unload();
    // SetVolumeEx; false when the library is not loaded or does not export it.
    bool setVolume(int32_t volume);

    // The fixed error caption and texts.
    static QString errorCaption();
    QString loadErrorText() const;
    QString missingFunctionText(const char* function) const;

private:
    QString appPath_;
    void* handle_ = nullptr;
};

} // namespace tl
