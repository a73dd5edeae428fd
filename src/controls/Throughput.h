// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/PlatformColor.h"
#include "controls/ThroughputModel.h"

#include <QFrame>
#include <QImage>
#include <QVariantMap>

#include <climits>

// A scrolling bar graph: each sample moves the picture left by one bar width and draws its
// bar at the right edge. The picture persists, so a repaint only shows it. While nobody sees
// the graph (hidden, or its window minimised) only the values are kept; the picture is drawn
// from them when it is seen again, the same pixels as had it scrolled all along.
class Throughput final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Throughput)

public:
    static constexpr int DefaultMax = 100;
    static constexpr int DefaultBarWidth = 2;
    static constexpr quint32 DefaultBackColor = PlatformColor::SystemFlag | PlatformColor::ButtonFace;
    static constexpr quint32 DefaultForeColor = PlatformColor::SystemFlag | PlatformColor::ButtonText;
    static constexpr bool DefaultFlat = false;
    static constexpr bool DefaultInverted = false;

    // Starts with the defaults, so that it draws sanely before its properties are applied.
    explicit Throughput(QWidget *parent = nullptr);

    // Changing the scale or a colour redraws the bars on the picture; changing the bar
    // width, the frame or the direction clears the graph.
    int max() const { return m_max; }
    void setMax(int max);
    int barWidth() const { return m_barWidth; }
    void setBarWidth(int barWidth);
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 color);
    quint32 foreColor() const { return m_foreColor; }
    void setForeColor(quint32 color);
    bool flat() const;
    void setFlat(bool flat);
    bool inverted() const { return m_inverted; }
    void setInverted(bool inverted);

    // The graph's Update, renamed because QWidget::update() schedules a repaint. Shown, the
    // picture scrolls by one blit and only the new bar's slot is painted; an empty bar into a
    // picture without bars changes nothing and repaints nothing.
    void addValue(int value);
    // Draws what came while the graph was not seen (its window restored from the minimised
    // state, where no paint of its own follows).
    void catchUp();

    // A missing stored name reads as its default; a value that cannot be read leaves its
    // property as it is.
    void initProperties();
    void readProperties(const QVariantMap &stored);
    void writeProperties(QVariantMap &stored) const;

    int graphWidth() const { return m_model.width(); }
    int graphHeight() const { return m_model.height(); }
    const QImage &picture() const;

Q_SIGNALS:
    // With the stored name, so that the host saves the graph's settings again.
    void propertyChanged(const QString &name);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool sized() const;
    bool seen() const;
    void resizeGraph();
    void redraw();
    void drawBars() const;
    void fill(const QRect &rect, QRgb color) const;
    QRgb rgb(quint32 color) const;

    int m_max = DefaultMax;
    int m_barWidth = DefaultBarWidth;
    quint32 m_backColor = DefaultBackColor;
    quint32 m_foreColor = DefaultForeColor;
    bool m_inverted = DefaultInverted;
    ThroughputModel m_model;
    mutable QImage m_picture;
    mutable bool m_stale = false; // values or colours the picture does not show yet
    // Values added since the last one above 0: at capacity or more the picture has no bar.
    int m_sinceBar = INT_MAX;
};
