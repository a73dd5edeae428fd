#pragma once

#include "core/traffic/VolumeLeftText.h"

#include <QString>

// What the poll fills in: the monitor window's labels, graphs and caption, and the tray tip.
// The window implements it; tests record it.
class MonitorView
{
public:
    virtual ~MonitorView() = default;

    // Heights in twips from this one up show the labels and graphs; below it only the caption.
    static constexpr int FullHeightTwips = 1000;

    // The window's height in twips; below 1000 only the caption is visible.
    virtual int heightTwips() const = 0;
    // Frozen while a poll changes the labels and graphs, so that the poll repaints once.
    virtual void freezeDrawing(bool frozen) = 0;

    virtual void setDownloadText(const QString &text) = 0;
    virtual void setUploadText(const QString &text) = 0;
    virtual void setCaption(const QString &text) = 0;
    virtual void setRateLine(const QString &text) = 0;
    // Both graphs share one scale.
    virtual void setGraphMax(int max) = 0;
    virtual void addGraphValues(int download, int upload) = 0;
    virtual void setGraphToolTip(const QString &text) = 0;
    virtual void setVolumeLeft(const QString &text, VolumeAlert alert) = 0;
    virtual void setTrayTip(const QString &text) = 0;
    // Why the open row cannot be written to the database (disk full, a lock, a read-only
    // file), until a write succeeds; empty while all is well.
    virtual void setStoreProblem(const QString &problem) = 0;
    // The poll's timer, off while a log row is written.
    virtual void setPollTimerEnabled(bool enabled) = 0;
};
