#include "platform/x11_client_messages.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tl {
namespace {

uint32_t internAtom(xcb_connection_t* c, const QByteArray& name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.constData());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const uint32_t atom = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return atom;
}

} // namespace

ClientMessageFilter::ClientMessageFilter(QByteArray name, std::function<void(uint32_t)> handler)
    : name_(std::move(name)), handler_(std::move(handler)) {}

bool ClientMessageFilter::nativeEventFilter(const QByteArray& eventType, void* message,
                                            qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) {
        return false;
    }
    if (!resolved_) {
        // A private connection keeps us independent of Qt's native interface.
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        if (c != nullptr && xcb_connection_has_error(c) == 0) {
            atom_ = internAtom(c, name_);
        }
        if (c != nullptr) {
            xcb_disconnect(c);
        }
        resolved_ = true;
    }
    auto* client = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (atom_ != 0 && client->type == atom_) {
        handler_(client->window);
        return true;
    }
    return false;
}

bool sendClientMessage(uint32_t window, const QByteArray& name) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
        if (c != nullptr) {
            xcb_disconnect(c);
        }
        return false;
    }
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof(event));
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = internAtom(c, name);
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    xcb_disconnect(c);
    return true;
}

} // namespace tl
