// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/Utf8Scan.h"

#include <QList>
#include <QString>

#include <algorithm>

int Utf8Scan::spaceLength(const char *p, const char *end)
{
    if (p < end && (*p == ' ' || *p == '\t'))
        return 1;
    if (end - p >= 2 && static_cast<unsigned char>(p[0]) == 0xC2 && static_cast<unsigned char>(p[1]) == 0xA0)
        return 2;
    if (end - p >= 3 && static_cast<unsigned char>(p[0]) == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80
        && static_cast<unsigned char>(p[2]) == 0xAF)
        return 3;
    return 0;
}

void Utf8Scan::trimSpaces(const char *&p, const char *&end)
{
    while (int n = spaceLength(p, end))
        p += n;
    while (end > p) {
        if (end[-1] == ' ' || end[-1] == '\t')
            --end;
        else if (end - p >= 2 && spaceLength(end - 2, end) == 2)
            end -= 2;
        else if (end - p >= 3 && spaceLength(end - 3, end) == 3)
            end -= 3;
        else
            break;
    }
}

QByteArray Utf8Scan::withAsciiDigits(const char *text, std::size_t length)
{
    if (std::none_of(text, text + length, [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
        return {};
    QList<uint> codePoints = QString::fromUtf8(text, qsizetype(length)).toUcs4();
    bool changed = false;
    for (uint &c : codePoints) {
        if (c >= 0x80 && QChar::category(char32_t(c)) == QChar::Number_DecimalDigit) {
            c = '0' + uint(QChar::digitValue(char32_t(c)));
            changed = true;
        }
    }
    return changed
        ? QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()), codePoints.size()).toUtf8()
        : QByteArray();
}
