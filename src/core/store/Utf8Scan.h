// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstddef>

// Small readers of UTF-8 text that the number and the date conversions share.
namespace Utf8Scan {

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ASCII letters and every byte of a multi-byte character (month names, AM/PM texts, marks).
inline bool isWordByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}

// Length of the space at p: ASCII space or tab, no-break space, narrow no-break space; 0 if none.
int spaceLength(const char *p, const char *end);
// Moves p and end inwards past the spaces at either end.
void trimSpaces(const char *&p, const char *&end);
// The text with decimal digits of other scripts made ASCII ("١٢٫٥" is how QLocale writes 12.5
// under Arabic locales); empty when it has none.
QByteArray withAsciiDigits(const char *text, std::size_t length);

} // namespace Utf8Scan
