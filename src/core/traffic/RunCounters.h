#pragma once

#include <QDateTime>

// The traffic of the run: the bytes the selected adapters carried since the run began, as
// counted at the start of the current log row (Base), at the latest poll (Cur) and at the
// poll before (Prev), with the rates derived from them. The poll fills it; the traffic log
// writer turns it into rows.
struct RunCounters
{
    QDateTime rowStart; // invalid until the first sample of the run
    // The wall-clock time of the latest poll. A clock set back to before it ends the row
    // there, so that no row ends before it starts.
    QDateTime latestTime;
    double baseIn = 0;
    double baseOut = 0;
    double curIn = 0;
    double curOut = 0;
    double prevIn = 0;
    double prevOut = 0;
    // The run has its first reading; from then on each row starts with the readings the
    // previous one ended with. Kept apart from the readings, which may well be 0.
    bool sampled = false;
    double avgDown = 0; // kB/s, over the current row
    double downSamples = 0; // the samples of the current row that the average is taken over
    double maxDown = 0; // kB/s
    double maxUp = 0; // kB/s

    double rowBytesIn() const { return curIn - baseIn; }
    double rowBytesOut() const { return curOut - baseOut; }
};
