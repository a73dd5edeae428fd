// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// What a router sends is read here, apart from the network, so that it is tested and fuzzed on
// its own. Everything is untrusted: a text too large, cut short, repeated, or not what was
// asked is refused whole, with the reason in error.
namespace RouterAnswer {

// The largest SOAP answer or device description that is read at all.
constexpr qsizetype MostBytes = 64 * 1024;
// The longest friendly name taken (UPnP allows 64 characters; some makers go past that).
constexpr qsizetype MostNameChars = 128;

// The values of the named fields of a SOAP answer, in the order of names: each must be there
// exactly once. A SOAP fault is refused with its code.
std::optional<QList<QByteArray>> fields(QByteArrayView answer, const QList<QByteArray> &names, QString &error);

// Whether a device description is whole: within MostBytes, ending with its root's end tag.
bool wholeDescription(QByteArrayView description, QString &error);

// The friendly name of the root device of a device description: the first <friendlyName>
// inside the first <device>. Only the five predefined entities are decoded; any other
// entity, a character reference, markup, CDATA or a control character refuses the name.
std::optional<QString> friendlyName(QByteArrayView description, QString &error);

// A text from a router made fit for a log line: printable, capped.
QString shown(QByteArrayView text);

} // namespace RouterAnswer
