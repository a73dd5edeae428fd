#pragma once

#include "controls/Throughput.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

// What the X server shows: the screen's pixels and the window manager's frames, read from
// the server rather than from the widgets, so that a control Qt never showed counts as
// missing.
namespace DesktopScreen {

inline QImage pixels()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// The area a widget covers on the screen.
inline QRect onScreen(const QWidget &widget)
{
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
}

// The outermost window around a top-level window, borders included: the window manager's
// frame, or the window itself when nothing frames it.
inline QRect outerFrame(const QWidget &window)
{
    struct Free
    {
        void operator()(void *reply) const { std::free(reply); }
    };
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return {};
    xcb_connection_t *connection = x11->connection();
    auto outer = xcb_window_t(window.winId());
    for (;;) {
        const std::unique_ptr<xcb_query_tree_reply_t, Free> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, outer), nullptr));
        if (!tree)
            return {};
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            break;
        outer = tree->parent;
    }
    const std::unique_ptr<xcb_get_geometry_reply_t, Free> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, outer), nullptr));
    if (!geometry)
        return {};
    const int border = geometry->border_width;
    return QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
}

// The windows the window manager manages now (_NET_CLIENT_LIST of the root window).
inline int managedWindowCount()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return 0;
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    static constexpr char name[] = "_NET_CLIENT_LIST";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, true, sizeof name - 1, name), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return 0;
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> list(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, false, root, atom->atom, XCB_ATOM_WINDOW, 0, 1024), nullptr),
        &std::free);
    return list ? xcb_get_property_value_length(list.get()) / 4 : 0;
}

// Dark pixels of text on the label's area of the screen.
inline int inkOf(const QImage &screen, const QLabel &label)
{
    const QRect area = onScreen(label).intersected(screen.rect());
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            ink += qGray(screen.pixel(x, y)) < 100 ? 1 : 0;
    }
    return ink;
}

// The share of the graph's area on the screen that shows the graph's own colours.
inline double graphShare(const QImage &screen, const Throughput &graph)
{
    const QRgb back = PlatformColor::toColor(graph.backColor(), graph.palette()).rgb();
    const QRgb bar = PlatformColor::toColor(graph.foreColor(), graph.palette()).rgb();
    const QRect area = onScreen(graph);
    if (!screen.rect().contains(area))
        return 0;
    int own = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = screen.pixel(x, y) | 0xFF000000;
            own += pixel == (back | 0xFF000000) || pixel == (bar | 0xFF000000) ? 1 : 0;
        }
    }
    return double(own) / (area.width() * area.height());
}

// Each column's bar as the screen shows it: the rows, from the top, that have the bar
// colour; -1 for a column without a bar. A bar must be one unbroken run.
struct Bar
{
    int first = -1;
    int last = -1;
    bool broken = false;
};

inline QList<Bar> barsOf(const QImage &screen, const Throughput &graph)
{
    const QRgb bar = PlatformColor::toColor(graph.foreColor(), graph.palette()).rgb() | 0xFF000000;
    const QRect area = onScreen(graph);
    QList<Bar> bars;
    for (int x = area.left(); x <= area.right(); ++x) {
        Bar column;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if ((screen.pixel(x, y) | 0xFF000000) != bar)
                continue;
            const int row = y - area.top();
            if (column.first < 0)
                column.first = row;
            else if (row != column.last + 1)
                column.broken = true;
            column.last = row;
        }
        bars.append(column);
    }
    return bars;
}

} // namespace DesktopScreen
