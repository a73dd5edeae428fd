// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FakeInterfaceTable.h"

#include <QTimer>

#include <cmath>

// Traffic on a fake table's first card that swells and ebbs, with less sent than received,
// so that both of the monitor's graphs get bars of many lengths.
class FakeTraffic
{
public:
    explicit FakeTraffic(FakeInterfaceTable &table)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, &table] {
            table.rows[0].in += quint64(20'000 + 15'000 * std::sin(m_tick / 4.0));
            table.rows[0].out += quint64(6'000 + 5'000 * std::cos(m_tick++ / 3.0));
        });
        m_timer.start(100);
    }

private:
    QTimer m_timer;
    int m_tick = 0;
};
