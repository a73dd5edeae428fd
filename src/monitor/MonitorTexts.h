// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// The texts of the monitor: volumes, the rate line, the captions, the tray tip and the
// graphs' tooltips. Numbers follow the user's locale (QLocale()), with digit grouping.
namespace MonitorTexts {

// Rates are kB/s (1000 bytes); shown in Kbps they are multiplied by this.
constexpr double KbpsFactor = 8.192;
// The rate line never grows past this many characters: the maximum is dropped first.
constexpr int RateLineLimit = 53;
// A caption up to this long still has room for the program's name.
constexpr int ShortCaption = 14;

// x with the given number of decimals, grouped: 1234.5 → "1,234.5" (en), "1.234,5" (de).
QString number(double x, int decimals);
// KB (1024 bytes) with one decimal below 1 MB, else MB (1,048,576 bytes) with two.
QString volume(double bytes);
QString rateUnit(bool kilobit);

// The rate line cut before " - Max:" and closed with ")" when it is too long.
QString cutRateLine(const QString &line);

// The caption of the full-size window: the row's volume and, if there is room, the name.
QString expandedCaption(const QString &volumeText);
// The caption of the mini window: the status and the volume left without its percentage.
QString collapsedCaption(const QString &status, const QString &volumeLeft);
QString graphToolTip(int max, bool kilobit);

// A router's name as the window and the tip show it: on one line, at most this long.
constexpr int RouterNameLength = 40;
// "Router: <name>", and " not answering since 14:02" (with the date when that was another day
// than now) while it does not answer.
QString routerLine(const QString &name, const QDateTime &silentSince, const QDateTime &now);

} // namespace MonitorTexts
