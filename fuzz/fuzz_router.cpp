// SPDX-License-Identifier: GPL-3.0-or-later
// What a router sends: a SOAP answer read for its counters (through the client library's
// parser) or a device description read for its friendly name and its services. Whatever the
// bytes, a reading either succeeds with no reason or fails with one; what it takes is whole
// (no value the library cut, no name with a control character, none over its cap).
// Input: one byte that picks the reader (even: an answer, odd: a description), then the text.

#include "FuzzSupport.h"

#include "core/traffic/RouterReading.h"
#include "router/RouterAnswer.h"

#include <miniupnpc/miniupnpc.h>

namespace {

void readAnswer(QByteArrayView text)
{
    QString error;
    const std::optional<QList<QByteArray>> fields
        = RouterAnswer::fields(text, {"NewTotalBytesReceived", "NewTotalBytesSent", "NewUptime"}, error);
    if (fields.has_value() == !error.isEmpty())
        Fuzz::fail("a reading fails exactly when it gives a reason", error);
    if (!fields)
        return;
    if (fields->size() != 3 || text.size() > RouterAnswer::MostBytes)
        Fuzz::fail("an answer read gives every field asked, from at most MostBytes", QString::number(fields->size()));
    for (const QByteArray &value : *fields) {
        if (value.size() >= 127 || value.contains('\0'))
            Fuzz::fail("no value is one the library cut", QString::fromLatin1(value.toHex()));
    }
    // The core's strict number reading on what the library handed on.
    (void)RouterReading::fromAnswers(fields->at(0), fields->at(1), false, QByteArrayView(fields->at(2)));
}

void readDescription(QByteArrayView text)
{
    QString error;
    const std::optional<QString> name = RouterAnswer::friendlyName(text, error);
    if (name.has_value() == !error.isEmpty())
        Fuzz::fail("a name fails exactly when it gives a reason", error);
    if (name) {
        if (name->isEmpty() || name->size() > RouterAnswer::MostNameChars || *name != name->trimmed())
            Fuzz::fail("a name is trimmed, not empty and within its cap", *name);
        for (const QChar c : *name) {
            if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
                Fuzz::fail("a name holds no control character", *name);
        }
    }
    // The client hands a whole description to the library's parser, as it opens a router.
    if (RouterAnswer::wholeDescription(text, error)) {
        IGDdatas data {};
        parserootdesc(text.data(), int(text.size()), &data);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool initialized = (Fuzz::initialize(), true);
    (void)initialized;
    if (size < 1)
        return 0;
    const QByteArrayView text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    if (data[0] % 2 == 0)
        readAnswer(text);
    else
        readDescription(text);
    return 0;
}
