// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The common scale (Max, whole kB/s) of the download and upload graphs. It widens when the
// rate climbs above it unless the rate is a spike far above the average, and shrinks back
// towards the average when traffic calms down, so that ordinary traffic fills the graph.
class GraphScale final
{
public:
    static constexpr int StartMax = 5;

    int max() const { return m_max; }
    void setMax(int max) { m_max = max; }

    // A download sample, with the running average already updated by it.
    void download(double rate, double avgDown);
    // An upload sample; maxUp is the highest upload rate that was allowed to widen the scale.
    void upload(double uprate, double avgDown, double &maxUp);

private:
    int m_max = StartMax;
};
