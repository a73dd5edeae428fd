// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Numbers as the program writes them into SQL text and text boxes: the user's decimal
// separator, no digit grouping, no exponent for whole numbers that a double holds exactly.
namespace NumberText {

// Up to 15 significant digits, trailing zeros dropped: 1234 → "1234", 12.5 → "12,5" (de).
QString plain(double value);

// A fixed number of decimals, the user's separator, no grouping: 1234.5 → "1234,50" (de, 2).
// A zero that came out negative is written without its sign.
QString fixed(double value, int decimals);

// A rate kept with four decimals (halves to even), written like plain(): 1.23456 → "1.2346".
QString fourDecimals(double value);

} // namespace NumberText
