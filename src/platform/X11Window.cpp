#include "platform/X11Window.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace ks {

namespace {

// The replies of xcb are allocated with malloc and owned by the caller.
template <class TReply> using TReplyPtr = std::unique_ptr<TReply, decltype(&std::free)>;

template <class TReply> TReplyPtr<TReply> Owned(TReply* reply) {
    return TReplyPtr<TReply>(reply, &std::free);
}

xcb_connection_t* Connection() {
    const auto* x11 =
        qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const std::string& name) {
    const auto reply = Owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr));
    return reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The window that a WINDOW property of window names, or none.
xcb_window_t WindowProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    const auto reply = Owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr));
    if (reply == nullptr || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return XCB_WINDOW_NONE;
    xcb_window_t named = XCB_WINDOW_NONE;
    std::memcpy(&named, xcb_get_property_value(reply.get()), sizeof named);
    return named;
}

bool ManagerRunning(xcb_connection_t* connection, xcb_window_t window) {
    const auto tree = Owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (tree == nullptr)
        return true;
    const xcb_window_t root = tree->root;
    int screen = 0;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem > 0;
         xcb_screen_next(&it), ++screen)
        if (it.data->root == root)
            break;
    if (const xcb_atom_t selection = Atom(connection, "WM_S" + std::to_string(screen));
        selection != XCB_ATOM_NONE) {
        const auto owner = Owned(xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, selection), nullptr));
        if (owner != nullptr && owner->owner != XCB_WINDOW_NONE)
            return true;
    }
    // A manager that left a check window behind when it ended no longer runs: the check window
    // names itself only while it exists.
    const xcb_atom_t check = Atom(connection, "_NET_SUPPORTING_WM_CHECK");
    if (check == XCB_ATOM_NONE)
        return false;
    const xcb_window_t child = WindowProperty(connection, root, check);
    return child != XCB_WINDOW_NONE && WindowProperty(connection, child, check) == child;
}

} // namespace

void X11IconifyUnmanaged(std::uintptr_t window) {
    xcb_connection_t* connection = Connection();
    if (connection == nullptr || ManagerRunning(connection, static_cast<xcb_window_t>(window)))
        return;
    xcb_unmap_window(connection, static_cast<xcb_window_t>(window));
    xcb_flush(connection);
}

} // namespace ks
