// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/Throughput.h"
#include "monitor/FrmMain.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QtGui/qguiapplication_platform.h>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

// What the X server shows: the screen's pixels and the window manager's frames, read from
// the server rather than from the widgets, so that a control Qt never showed counts as
// missing.
namespace DesktopScreen {

struct Free
{
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

inline xcb_connection_t *connection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

inline xcb_window_t root()
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
}

inline xcb_atom_t atom(const char *name)
{
    const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection(), xcb_intern_atom(connection(), false, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property of 32-bit values (atoms, windows, cardinals) of a window.
inline QList<quint32> property(xcb_window_t window, const char *name, xcb_atom_t type)
{
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection(), xcb_get_property(connection(), false, window, atom(name), type, 0, 4096), nullptr));
    if (!reply || reply->format != 32)
        return {};
    const auto *values = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    return QList<quint32>(values, values + xcb_get_property_value_length(reply.get()) / 4);
}

inline void setProperty(xcb_window_t window, const char *name, xcb_atom_t type, const QList<quint32> &values)
{
    xcb_change_property(
        connection(), XCB_PROP_MODE_REPLACE, window, atom(name), type, 32, uint32_t(values.size()), values.constData());
    Reply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(connection(), xcb_get_input_focus(connection()), nullptr)); // a round trip
}

// For its lifetime, the window manager seems not to offer a feature: it is taken out of the
// features announced on the root window, as a window manager without it would announce them.
class WithoutFeature
{
public:
    explicit WithoutFeature(const char *name)
        : m_announced(property(root(), "_NET_SUPPORTED", XCB_ATOM_ATOM))
    {
        QList<quint32> fewer = m_announced;
        fewer.removeAll(atom(name));
        setProperty(root(), "_NET_SUPPORTED", XCB_ATOM_ATOM, fewer);
    }
    ~WithoutFeature() { setProperty(root(), "_NET_SUPPORTED", XCB_ATOM_ATOM, m_announced); }
    Q_DISABLE_COPY_MOVE(WithoutFeature)

private:
    QList<quint32> m_announced;
};

inline QImage pixels()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// With VARNOLT_SCREENSHOTS naming a folder, keeps an area of the screen there as a PNG file.
inline void screenshot(const QString &name, const QRect &area)
{
    const QString folder = qEnvironmentVariable("VARNOLT_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    const QPixmap shot
        = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    QVERIFY(shot.save(QDir(folder).filePath(name)));
}

// The share of the pixels that differ between two pictures of the same area.
inline double changedShare(const QImage &before, const QImage &after)
{
    if (before.size() != after.size() || before.isNull())
        return 1;
    qint64 changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x)
            changed += (before.pixel(x, y) | 0xFF000000) != (after.pixel(x, y) | 0xFF000000) ? 1 : 0;
    }
    return double(changed) / (qint64(before.width()) * before.height());
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
    if (!connection())
        return {};
    auto outer = xcb_window_t(window.winId());
    for (;;) {
        const Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection(), xcb_query_tree(connection(), outer), nullptr));
        if (!tree)
            return {};
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            break;
        outer = tree->parent;
    }
    const Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection(), xcb_get_geometry(connection(), outer), nullptr));
    if (!geometry)
        return {};
    const int border = geometry->border_width;
    return QRect(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
}

// Where the window's own top-left corner is on the screen (Qt may hold a stale position
// while the window manager re-frames the window).
inline QPoint windowOnScreen(const QWidget &window)
{
    const Reply<xcb_translate_coordinates_reply_t> place(xcb_translate_coordinates_reply(
        connection(), xcb_translate_coordinates(connection(), xcb_window_t(window.winId()), root(), 0, 0), nullptr));
    return place ? QPoint(place->dst_x, place->dst_y) : QPoint();
}

// The title a window shows (_NET_WM_NAME).
inline QString title(xcb_window_t window)
{
    const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection(),
        xcb_get_property(connection(), false, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024), nullptr));
    if (!reply)
        return {};
    return QString::fromUtf8(
        static_cast<const char *>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get()));
}

// How many of the windows the window manager manages show this title.
inline qsizetype managedWindowsTitled(const QString &text)
{
    const QList<quint32> windows = property(root(), "_NET_CLIENT_LIST", XCB_ATOM_WINDOW);
    return std::count_if(windows.begin(), windows.end(), [&](quint32 window) { return title(window) == text; });
}

// The window the window manager holds active, or 0.
inline quint32 activeWindow()
{
    return property(root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW).value(0);
}

// Dark pixels of text on a control's area of the screen.
inline int inkOf(const QImage &screen, const QWidget &control)
{
    const QRect area = onScreen(control).intersected(screen.rect());
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

// The columns of a graph that show a bar on the screen.
inline qsizetype barsShown(const Throughput &graph)
{
    const QImage screen = pixels();
    const QRgb bar = PlatformColor::toColor(graph.foreColor(), graph.palette()).rgb() | 0xFF000000;
    const QRect area = onScreen(graph);
    qsizetype shown = 0;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if ((screen.pixel(x, y) | 0xFF000000) == bar) {
                ++shown;
                break;
            }
        }
    }
    return shown;
}

// What of the monitor's figures the screen does not show; empty when all are there.
inline QString missingFigures(FrmMain &window)
{
    const QImage screen = pixels();
    QStringList missing;
    const QList<std::pair<const char *, QLabel *>> labels {{"download volume", window.downloadLabel()},
        {"upload volume", window.uploadLabel()}, {"rate line", window.rateLabel()}};
    for (const auto &[name, label] : labels) {
        if (inkOf(screen, *label) < 10)
            missing << QLatin1String(name);
    }
    if (graphShare(screen, *window.downGraph()) < 0.95)
        missing << QStringLiteral("download graph");
    if (graphShare(screen, *window.upGraph()) < 0.95)
        missing << QStringLiteral("upload graph");
    return missing.join(QLatin1String(", "));
}

} // namespace DesktopScreen
