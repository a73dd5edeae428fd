// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/NumberText.h"

#include <QLocale>

#include <cmath>

namespace NumberText {

QString plain(double value)
{
    // Whole byte counts up to 2^53 must come out digit for digit, never as 2e+09.
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 9007199254740992.0)
        return QString::number(static_cast<qint64>(value));
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}

QString fixed(double value, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale.toString(value + 0.0, 'f', decimals); // -0.0 + 0.0 is +0.0
}

QString fourDecimals(double value)
{
    const double scaled = value * 10000.0;
    // Past about 1.8e304 the scaled value is infinite, which would be written "inf"; such a
    // number has no decimals to round.
    if (!std::isfinite(scaled))
        return plain(value);
    const double rounded = std::nearbyint(scaled); // the default rounding mode rounds halves to even
    return plain(rounded / 10000.0);
}

} // namespace NumberText
