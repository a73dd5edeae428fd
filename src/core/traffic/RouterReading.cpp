// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/traffic/RouterReading.h"

#include <charconv>
#include <limits>

namespace {

std::optional<quint64> decimal(QByteArrayView text, quint64 most)
{
    // from_chars takes digits alone (no sign, space or prefix) and must reach the end.
    quint64 value = 0;
    const auto [end, error] = std::from_chars(text.begin(), text.end(), value);
    if (error != std::errc() || end != text.end() || value > most)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<RouterReading> RouterReading::fromAnswers(
    QByteArrayView received, QByteArrayView sent, bool wide, std::optional<QByteArrayView> uptime)
{
    const quint64 most = std::numeric_limits<quint64>::max();
    const std::optional<quint64> in = decimal(received, most);
    const std::optional<quint64> out = decimal(sent, most);
    if (!in || !out)
        return std::nullopt;
    RouterReading reading {*in, *out, wide};
    if (uptime) {
        if (const std::optional<quint64> secs = decimal(*uptime, std::numeric_limits<quint32>::max()))
            reading.uptimeSecs = quint32(*secs);
    }
    return reading;
}
