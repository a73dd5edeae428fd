// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterAnswer.h"

#include <QStringDecoder>

#include <miniupnpc/upnpreplyparse.h>

#include <cstring>

namespace {

// libminiupnpc keeps a value in 128 bytes with its terminating zero: one that fills them was cut.
constexpr std::size_t CutValueLength = sizeof(NameValue::value) - 1;
constexpr std::size_t CutNameLength = sizeof(NameValue::name) - 1;

// The parsed answer, cleared however the reading ends.
struct NameValues
{
    NameValueParserData data {};
    explicit NameValues(QByteArrayView answer) { ParseNameValue(answer.data(), int(answer.size()), &data); }
    ~NameValues() { ClearNameValueList(&data); }
    NameValues(const NameValues &) = delete;
    NameValues &operator=(const NameValues &) = delete;

    // How often the field is there, and its last value.
    int count(const char *name, const char **value) const
    {
        int found = 0;
        for (const NameValue *field = data.l_head; field; field = field->l_next) {
            if (std::strcmp(field->name, name) == 0) {
                ++found;
                *value = field->value;
            }
        }
        return found;
    }
};

bool plainNameChar(QChar c)
{
    switch (c.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format: // bidirectional overrides and invisible marks
    case QChar::Other_Surrogate:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return false;
    default:
        return true;
    }
}

// The text of an element with the five predefined entities decoded; anything else after an
// ampersand refuses it.
std::optional<QByteArray> decodedText(QByteArrayView text, QString &error)
{
    static constexpr struct
    {
        const char *entity;
        char character;
    } entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    QByteArray decoded;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] != '&') {
            decoded += text[i++];
            continue;
        }
        bool known = false;
        for (const auto &[entity, character] : entities) {
            if (text.sliced(i).startsWith(entity)) {
                decoded += character;
                i += qsizetype(std::strlen(entity));
                known = true;
                break;
            }
        }
        if (!known) {
            error = QStringLiteral("the friendly name holds an entity or a character reference");
            return std::nullopt;
        }
    }
    return decoded;
}

// A tag's name without its namespace prefix, and where the tag ends (after '>'); nothing for a
// tag that does not end.
struct Tag
{
    QByteArrayView name;
    bool closing = false;
    bool empty = false; // <name/>
    qsizetype end = 0;
};

std::optional<Tag> tagAt(QByteArrayView text, qsizetype open)
{
    Tag tag;
    qsizetype i = open + 1;
    if (i < text.size() && text[i] == '/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < text.size() && !QByteArrayView(" \t\r\n/>").contains(text[i]))
        ++i;
    QByteArrayView name = text.sliced(nameStart, i - nameStart);
    if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0)
        name = name.sliced(colon + 1);
    tag.name = name;
    char quote = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            tag.empty = text[i - 1] == '/';
            tag.end = i + 1;
            return tag;
        }
    }
    return std::nullopt;
}

// Whether text ends with the end tag of element (any prefix), then white space alone: the
// client library hands on what arrived of a body cut short as if it were whole.
bool endsWith(QByteArrayView text, QByteArrayView element)
{
    const QByteArrayView trimmed = text.trimmed();
    const qsizetype open = trimmed.lastIndexOf("</");
    if (open < 0 || !trimmed.endsWith('>'))
        return false;
    QByteArrayView name = trimmed.sliced(open + 2, trimmed.size() - open - 3);
    if (const qsizetype colon = name.indexOf(':'); colon >= 0)
        name = name.sliced(colon + 1);
    return name == element;
}

} // namespace

namespace RouterAnswer {

std::optional<QList<QByteArray>> fields(QByteArrayView answer, const QList<QByteArray> &names, QString &error)
{
    if (answer.isEmpty()) {
        error = QStringLiteral("an empty answer");
        return std::nullopt;
    }
    if (answer.size() > MostBytes) {
        error = QStringLiteral("an answer of %1 bytes, more than the %2 read").arg(answer.size()).arg(MostBytes);
        return std::nullopt;
    }
    if (!endsWith(answer, "Envelope")) {
        error = QStringLiteral("an answer cut short");
        return std::nullopt;
    }
    const NameValues values(answer);
    const char *code = nullptr;
    if (values.count("errorCode", &code) > 0 || values.count("faultcode", &code) > 0) {
        const char *description = "";
        values.count("errorDescription", &description);
        error = QStringLiteral("a fault, %1 (%2)").arg(shown(code), shown(description));
        return std::nullopt;
    }
    QList<QByteArray> found;
    for (const QByteArray &name : names) {
        const char *value = nullptr;
        const int times = name.size() <= qsizetype(CutNameLength) ? values.count(name.constData(), &value) : 0;
        if (times != 1) {
            error = times == 0 ? QStringLiteral("no %1 in the answer").arg(QString::fromLatin1(name))
                               : QStringLiteral("%1 %2 times in the answer").arg(QString::fromLatin1(name)).arg(times);
            return std::nullopt;
        }
        if (std::strlen(value) >= CutValueLength) {
            error = QStringLiteral("a %1 too long to be a value").arg(QString::fromLatin1(name));
            return std::nullopt;
        }
        found.append(QByteArray(value));
    }
    return found;
}

bool wholeDescription(QByteArrayView description, QString &error)
{
    if (description.size() > MostBytes) {
        error = QStringLiteral("a description of %1 bytes, more than the %2 read").arg(description.size()).arg(MostBytes);
        return false;
    }
    if (!endsWith(description, "root")) {
        error = QStringLiteral("a description cut short");
        return false;
    }
    return true;
}

std::optional<QString> friendlyName(QByteArrayView description, QString &error)
{
    if (!wholeDescription(description, error))
        return std::nullopt;
    // The path of open elements from the root; the name is the text of root/device/friendlyName.
    constexpr int MostDepth = 64;
    QList<QByteArrayView> open;
    qsizetype textStart = -1;
    for (qsizetype i = description.indexOf('<'); i >= 0 && i < description.size(); i = description.indexOf('<', i)) {
        const QByteArrayView rest = description.sliced(i);
        if (rest.startsWith("<!--")) {
            const qsizetype end = description.indexOf("-->", i + 4);
            if (end < 0)
                break;
            i = end + 3;
            continue;
        }
        if (rest.startsWith("<!") || (rest.startsWith("<?") && !open.isEmpty())) {
            // A DOCTYPE may define entities, CDATA hides markup: neither has a place in a description.
            error = QStringLiteral("the description holds a declaration or CDATA");
            return std::nullopt;
        }
        const std::optional<Tag> tag = tagAt(description, i);
        if (!tag)
            break;
        if (rest.startsWith("<?")) { // the XML declaration
            i = tag->end;
            continue;
        }
        const bool inName = open.size() == 3 && open[1] == "device" && open[2] == "friendlyName";
        if (inName) {
            if (!tag->closing || tag->name != "friendlyName") {
                error = QStringLiteral("the friendly name holds markup");
                return std::nullopt;
            }
            const std::optional<QByteArray> text = decodedText(description.sliced(textStart, i - textStart), error);
            if (!text)
                return std::nullopt;
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString name = QString(utf8.decode(*text)).trimmed();
            if (utf8.hasError() || !std::all_of(name.begin(), name.end(), plainNameChar)) {
                error = QStringLiteral("the friendly name holds a control character or is not UTF-8");
                return std::nullopt;
            }
            if (name.size() > MostNameChars) {
                error = QStringLiteral("a friendly name of %1 characters, more than the %2 taken")
                            .arg(name.size())
                            .arg(MostNameChars);
                return std::nullopt;
            }
            if (name.isEmpty()) {
                error = QStringLiteral("an empty friendly name");
                return std::nullopt;
            }
            return name;
        }
        if (tag->closing) {
            if (open.isEmpty() || open.last() != tag->name) {
                error = QStringLiteral("the description's elements do not nest");
                return std::nullopt;
            }
            open.removeLast();
            // The root device closed without a name: it gives none.
            if (open.size() == 1 && tag->name == "device")
                break;
        } else if (!tag->empty) {
            if (open.size() >= MostDepth) {
                error = QStringLiteral("the description nests deeper than %1").arg(MostDepth);
                return std::nullopt;
            }
            open.append(tag->name);
            textStart = tag->end;
        }
        i = tag->end;
    }
    error = QStringLiteral("the description names no friendly name for its device");
    return std::nullopt;
}

QString shown(QByteArrayView text)
{
    constexpr qsizetype Most = 80;
    QString plain;
    for (const char c : text.first(std::min(text.size(), Most)))
        plain += (c >= 0x20 && c < 0x7f) ? QChar::fromLatin1(c) : QChar(u'?');
    if (text.size() > Most)
        plain += QStringLiteral("…");
    return plain;
}

} // namespace RouterAnswer
