#pragma once
// X11 client messages by name: the player receives "WM_VIDEOCLOSED" from the companion video
// library this way. The filter runs on the UI thread (Qt's native event dispatch).

#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <cstdint>
#include <functional>

namespace tl {

class ClientMessageFilter : public QAbstractNativeEventFilter {
public:
    // Calls handler(window) for each client message of type `name`. Does nothing off X11.
    ClientMessageFilter(QByteArray name, std::function<void(uint32_t window)> handler);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QByteArray name_;
    uint32_t atom_ = 0; // resolved lazily on the first X event
    bool resolved_ = false;
    std::function<void(uint32_t)> handler_;
};

// Sends a client message of type `name` to `window` on the default display (for the companion
// library's contract tests). False without a display.
bool sendClientMessage(uint32_t window, const QByteArray& name);

} // namespace tl
