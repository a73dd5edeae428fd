// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/traffic/VolumeLeftText.h"

#include <QString>

// Why the open row cannot be written to the database, and whether it is safe meanwhile.
struct StoreProblem
{
    // The database's own words (disk full, a lock, a read-only file); empty while all is well.
    QString reason;
    // The open row is in the journal, so that a kill or a crash would not lose it. False
    // while the journal's own writes fail: then the row is held in memory alone.
    bool journaled = true;

    bool isEmpty() const { return reason.isEmpty(); }
    bool operator==(const StoreProblem &) const = default;

    // The line the tray's tip and the monitor window show, and the message that explains it;
    // the reason's first line only (the rest names the statement).
    QString line() const { return QStringLiteral("Not logged: ") + firstLine(); }
    QString message() const
    {
        return QStringLiteral("Traffic is not being logged: ") + firstLine() + QLatin1Char('\n')
            + (journaled ? QStringLiteral("Nothing is lost: it is kept and written as soon as the database takes it.")
                         : QStringLiteral("It is held in memory only until the database takes it: should the "
                                          "program end before then, that traffic is lost."));
    }

private:
    QString firstLine() const { return reason.section(QLatin1Char('\n'), 0, 0); }
};

// What the figures count when it is not this machine's interfaces ("Router: <name>"), and
// since when that source has not answered; empty while the interfaces are metered.
struct SourceLine
{
    QString text;
    QString why; // why it does not answer, while it does not
    bool silent = false;

    bool isEmpty() const { return text.isEmpty(); }
    bool operator==(const SourceLine &) const = default;
};

// What the poll fills in: the monitor window's labels, graphs and caption, and the tray tip.
// The window implements it; tests record it. Every poll gives every figure: the view decides
// what of it is drawn (nothing that did not change, nothing nobody sees).
class MonitorView
{
public:
    virtual ~MonitorView() = default;

    // Heights in twips from this one up show the labels and graphs; below it only the caption.
    static constexpr int FullHeightTwips = 1000;

    // The window's height in twips; below 1000 only the caption is visible.
    virtual int heightTwips() const = 0;
    // Whether the volumes and the rate line are seen: while not, the poll leaves them out,
    // and the view asks for them (MonitorPoll::showFigures) when it shows.
    virtual bool figuresShown() const = 0;

    virtual void setDownloadText(const QString &text) = 0;
    virtual void setUploadText(const QString &text) = 0;
    virtual void setCaption(const QString &text) = 0;
    virtual void setRateLine(const QString &text) = 0;
    // Both graphs share one scale.
    virtual void setGraphMax(int max) = 0;
    virtual void addGraphValues(int download, int upload) = 0;
    virtual void setGraphToolTip(const QString &text) = 0;
    virtual void setVolumeLeft(const QString &text, VolumeAlert alert) = 0;
    // The poll's time on the clock's monotonic scale, so that the tip changes at most so often.
    virtual void setTrayTip(const QString &text, qint64 atMsecs) = 0;
    // Why the open row cannot be written to the database, until a write succeeds.
    virtual void setStoreProblem(const StoreProblem &problem) = 0;
    virtual void setSourceLine(const SourceLine &line) = 0;
    // The poll's timer, off while a log row is written.
    virtual void setPollTimerEnabled(bool enabled) = 0;
};
