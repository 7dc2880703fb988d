#include "platform/window_lookup.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace tl {
namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 1, static_cast<uint16_t>(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

QString windowTitle(xcb_connection_t* c, xcb_window_t w, xcb_atom_t netWmName, xcb_atom_t utf8) {
    if (netWmName != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE) {
        const auto cookie = xcb_get_property(c, 0, w, netWmName, utf8, 0, 1024);
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
        if (reply && xcb_get_property_value_length(reply.get()) > 0) {
            return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                     xcb_get_property_value_length(reply.get()));
        }
    }
    const auto cookie = xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 1024);
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(c, cookie, nullptr));
    if (reply && xcb_get_property_value_length(reply.get()) > 0) {
        return QString::fromLatin1(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                   xcb_get_property_value_length(reply.get()));
    }
    return {};
}

// Top-level windows are children of the root; under a window manager they sit one level
// deeper, inside the manager's frame.
bool searchTree(xcb_connection_t* c, xcb_window_t parent, int depth, const QString& title,
                xcb_atom_t netWmName, xcb_atom_t utf8) {
    const auto cookie = xcb_query_tree(c, parent);
    XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookie, nullptr));
    if (!tree) {
        return false;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = 0; i < count; ++i) {
        if (windowTitle(c, children[i], netWmName, utf8) == title) {
            return true;
        }
        if (depth > 1 && searchTree(c, children[i], depth - 1, title, netWmName, utf8)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool topLevelWindowExists(const QString& title) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (c == nullptr || xcb_connection_has_error(c) != 0) {
        if (c != nullptr) {
            xcb_disconnect(c);
        }
        return false;
    }
    bool found = false;
    const xcb_atom_t netWmName = internAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (; it.rem > 0 && !found; xcb_screen_next(&it)) {
        found = searchTree(c, it.data->root, 2, title, netWmName, utf8);
    }
    xcb_disconnect(c);
    return found;
}

} // namespace tl
