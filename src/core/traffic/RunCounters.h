#pragma once

#include <QDateTime>

// The traffic of the run: the byte sums of the selected adapters at the start of the
// current log row (Base), at the latest poll (Cur) and at the poll before (Prev), with the
// rates derived from them. The poll fills it; the traffic log writer turns it into rows.
struct RunCounters
{
    QDateTime rowStart; // invalid until the first sample of the run
    double baseIn = 0;
    double baseOut = 0;
    double curIn = 0;
    double curOut = 0;
    double prevIn = 0;
    double prevOut = 0;
    // The current row has its first reading. Kept apart from the readings themselves, since
    // a counter may well read 0 (a new interface, or no adapter chosen).
    bool sampled = false;
    double avgDown = 0; // kB/s
    double downSamples = 0;
    double maxDown = 0; // kB/s
    double maxUp = 0; // kB/s

    double rowBytesIn() const { return curIn - baseIn; }
    double rowBytesOut() const { return curOut - baseOut; }
};
