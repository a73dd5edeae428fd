// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/WindowFrame.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QThread>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// A window manager answers within a few milliseconds; one that does not is not waited for.
constexpr int AnswerMsecs = 250;

struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, true, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool announces(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t feature)
{
    const xcb_atom_t supported = atom(connection, "_NET_SUPPORTED");
    if (supported == XCB_ATOM_NONE || feature == XCB_ATOM_NONE)
        return false;
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, false, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    return std::find(atoms, atoms + count, feature) != atoms + count;
}

// The X11 connection when the program runs on an X server. Other platforms may offer the
// interface too (offscreen does, without a connection).
xcb_connection_t *connectionFor()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return x11->connection();
}

QRect logical(const QRect &pixels, qreal ratio)
{
    return QRect(qRound(pixels.x() / ratio), qRound(pixels.y() / ratio), qRound(pixels.width() / ratio),
        qRound(pixels.height() / ratio));
}

} // namespace

std::optional<QMargins> WindowFrame::estimate(QWidget &window)
{
    xcb_connection_t *connection = connectionFor();
    if (!connection)
        return std::nullopt;
    const auto id = xcb_window_t(window.winId());
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    const xcb_atom_t request = atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
    if (!geometry || extents == XCB_ATOM_NONE || !announces(connection, geometry->root, request))
        return std::nullopt;

    // The window manager answers by setting _NET_FRAME_EXTENTS on the window, still unmapped.
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = id;
    message.type = request;
    xcb_send_event(connection, false, geometry->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
        reinterpret_cast<const char *>(&message));
    xcb_flush(connection);

    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, false, id, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 16) {
            const auto *sides = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
            // left, right, top, bottom, in device pixels
            const qreal ratio = window.devicePixelRatioF();
            const auto side = [ratio](quint32 pixels) { return qRound(pixels / ratio); };
            return QMargins(side(sides[0]), side(sides[2]), side(sides[1]), side(sides[3]));
        }
        if (waited.elapsed() >= AnswerMsecs)
            return std::nullopt;
        QThread::msleep(2);
    }
}

std::optional<WindowFrame::Frame> WindowFrame::current(QWidget &window)
{
    xcb_connection_t *connection = connectionFor();
    if (!connection)
        return std::nullopt;
    const auto id = xcb_window_t(window.winId());
    // The frame is the window's ancestor just below the root window.
    xcb_window_t outer = id;
    xcb_window_t root = XCB_WINDOW_NONE;
    for (;;) {
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, outer), nullptr));
        if (!tree)
            return std::nullopt;
        root = tree->root;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            break;
        outer = tree->parent;
    }
    const Reply<xcb_get_geometry_reply_t> frame(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, outer), nullptr));
    const Reply<xcb_get_geometry_reply_t> inner(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, id), nullptr));
    const Reply<xcb_translate_coordinates_reply_t> place(
        xcb_translate_coordinates_reply(connection, xcb_translate_coordinates(connection, id, root, 0, 0), nullptr));
    if (!frame || !inner || !place)
        return std::nullopt;
    const int border = frame->border_width;
    const qreal ratio = window.devicePixelRatioF();
    const QRect outside
        = logical(QRect(frame->x, frame->y, frame->width + 2 * border, frame->height + 2 * border), ratio);
    const QRect client = logical(QRect(place->dst_x, place->dst_y, inner->width, inner->height), ratio);
    // Not framed, or a frame the window manager is still putting in place around it.
    if (outer == id || !outside.contains(client))
        return Frame {client, QMargins()};
    return Frame {outside,
        QMargins(client.left() - outside.left(), client.top() - outside.top(), outside.right() - client.right(),
            outside.bottom() - client.bottom())};
}
