// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/store/JetSql.h"

#include "core/store/JetConvert.h"
#include "core/store/StoredDate.h"

using namespace Qt::StringLiterals;

namespace {

struct Token
{
    enum class Kind { Space, Word, Name, String, Number, Symbol };
    Kind kind;
    QString text; // as written
    QString out; // as translated
};

bool isWordStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isWordPart(QChar c)
{
    return isWordStart(c) || c.isDigit() || c == u'$';
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Reads up to the closing quote; a doubled quote stands for one. -1 when it is never closed.
qsizetype quotedEnd(const QString &text, qsizetype open, QChar quote)
{
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        if (text.at(i) == quote) {
            if (i + 1 < text.size() && text.at(i + 1) == quote)
                ++i;
            else
                return i;
        }
    }
    return -1;
}

class Translator
{
public:
    Translator(const QString &statement, const JetSql::ColumnLookup &columns)
        : m_statement(statement)
        , m_columns(columns)
    {
    }

    std::optional<QString> run()
    {
        if (!tokenize())
            return std::nullopt;
        for (qsizetype i = 0; i < qsizetype(m_tokens.size()); ++i) {
            if (m_tokens[i].kind == Token::Kind::Space)
                continue;
            m_significant.push_back(i);
        }
        rewriteDeleteStar();
        if (!rewriteTop())
            return std::nullopt;
        coerceInsertValues();
        QString sql;
        for (const Token &token : m_tokens)
            sql += token.out;
        return sql;
    }

    QString error() const { return m_error; }

private:
    bool tokenize()
    {
        const QString &s = m_statement;
        qsizetype i = 0;
        while (i < s.size()) {
            const QChar c = s.at(i);
            qsizetype end = i + 1;
            Token::Kind kind = Token::Kind::Symbol;
            QString out;
            if (c.isSpace()) {
                while (end < s.size() && s.at(end).isSpace())
                    ++end;
                kind = Token::Kind::Space;
            } else if (c == u'\'' || c == u'"') {
                const qsizetype close = quotedEnd(s, i, c);
                if (close < 0)
                    return failure(u"Syntax error in string in query expression '%1'."_s.arg(s.mid(i)));
                end = close + 1;
                kind = Token::Kind::String;
                if (c == u'"') {
                    QString inner = s.mid(i + 1, close - i - 1);
                    inner.replace(u"\"\""_s, u"\""_s).replace(u"'"_s, u"''"_s);
                    out = u'\'' + inner + u'\'';
                }
            } else if (c == u'[') {
                const qsizetype close = s.indexOf(u']', i + 1);
                if (close < 0)
                    return failure(u"Invalid bracketing of name '%1'."_s.arg(s.mid(i)));
                end = close + 1;
                kind = Token::Kind::Name;
            } else if (c == u'#') {
                const qsizetype close = s.indexOf(u'#', i + 1);
                const std::optional<StoredDate::Fields> date = close < 0
                    ? std::nullopt
                    : JetConvert::dateLiteralFields(QStringView(s).sliced(i + 1, close - i - 1));
                if (!date)
                    return failure(u"Syntax error in date in query expression '%1'."_s.arg(
                        s.mid(i, close < 0 ? -1 : close - i + 1)));
                end = close + 1;
                kind = Token::Kind::String;
                char text[StoredDate::TextLength];
                StoredDate::write(*date, text);
                out = u'\'' + QString::fromLatin1(text, StoredDate::TextLength) + u'\'';
            } else if (isAsciiDigit(c) || (c == u'.' && i + 1 < s.size() && isAsciiDigit(s.at(i + 1)))) {
                kind = Token::Kind::Number;
                end = scanNumber(i);
            } else if (isWordStart(c)) {
                while (end < s.size() && isWordPart(s.at(end)))
                    ++end;
                kind = Token::Kind::Word;
            } else if (c == u'/') {
                // The dialect's "/" always gives a real quotient. "*1.0" has the same precedence and
                // associates to the left: a/b/c becomes a*1.0/b*1.0/c, that is (((a*1.0)/b)*1.0)/c.
                out = u"*1.0/"_s;
            } else if (end < s.size()) {
                const QStringView pair = QStringView(s).sliced(i, 2);
                if (pair == u"<>" || pair == u"<=" || pair == u">=" || pair == u"!=" || pair == u"||")
                    ++end;
            }
            Token token {kind, s.mid(i, end - i), {}};
            token.out = out.isNull() ? token.text : out;
            m_tokens.push_back(std::move(token));
            i = end;
        }
        return true;
    }

    qsizetype scanNumber(qsizetype i) const
    {
        const QString &s = m_statement;
        while (i < s.size() && isAsciiDigit(s.at(i)))
            ++i;
        if (i < s.size() && s.at(i) == u'.') {
            ++i;
            while (i < s.size() && isAsciiDigit(s.at(i)))
                ++i;
        }
        if (i < s.size() && (s.at(i) == u'e' || s.at(i) == u'E')) {
            qsizetype j = i + 1;
            if (j < s.size() && (s.at(j) == u'+' || s.at(j) == u'-'))
                ++j;
            if (j < s.size() && isAsciiDigit(s.at(j))) {
                i = j;
                while (i < s.size() && isAsciiDigit(s.at(i)))
                    ++i;
            }
        }
        return i;
    }

    bool failure(const QString &message)
    {
        m_error = message;
        return false;
    }

    // The n-th significant (non-space) token, or nullptr past the end.
    Token *at(qsizetype n)
    {
        return n >= 0 && n < qsizetype(m_significant.size()) ? &m_tokens[m_significant[n]] : nullptr;
    }

    bool isWord(qsizetype n, QStringView word)
    {
        const Token *token = at(n);
        return token && token->kind == Token::Kind::Word && token->text.compare(word, Qt::CaseInsensitive) == 0;
    }

    bool isSymbol(qsizetype n, QStringView symbol)
    {
        const Token *token = at(n);
        return token && token->kind == Token::Kind::Symbol && token->text == symbol;
    }

    // Drops the n-th significant token and the space after it.
    void drop(qsizetype n)
    {
        const qsizetype index = m_significant[n];
        m_tokens[index].out.clear();
        if (index + 1 < qsizetype(m_tokens.size()) && m_tokens[index + 1].kind == Token::Kind::Space)
            m_tokens[index + 1].out.clear();
    }

    void rewriteDeleteStar()
    {
        for (qsizetype n = 0; at(n); ++n) {
            if (isWord(n, u"delete") && isSymbol(n + 1, u"*") && isWord(n + 2, u"from"))
                drop(n + 1);
        }
    }

    bool rewriteTop()
    {
        for (qsizetype n = 0; at(n); ++n) {
            if (!isWord(n, u"select"))
                continue;
            qsizetype top = n + 1;
            if (isWord(top, u"distinct") || isWord(top, u"all"))
                ++top;
            if (!isWord(top, u"top"))
                continue;
            const Token *count = at(top + 1);
            if (!count || count->kind != Token::Kind::Number)
                return failure(u"Syntax error in TOP clause of '%1'."_s.arg(m_statement));
            if (isWord(top + 2, u"percent"))
                return failure(u"TOP … PERCENT is not supported: '%1'."_s.arg(m_statement));
            const QString limit = u" limit "_s + count->text;
            drop(top);
            drop(top + 1);
            // The limit closes this select: at the parenthesis that encloses it, or at the end.
            int depth = 0;
            qsizetype last = top + 1;
            for (qsizetype m = top + 2; at(m); ++m) {
                if (isSymbol(m, u"("))
                    ++depth;
                else if (isSymbol(m, u")") && --depth < 0)
                    break;
                else if (depth == 0 && isSymbol(m, u";"))
                    break;
                last = m;
            }
            at(last)->out += limit;
        }
        return true;
    }

    static QString coercionFor(const QString &declaredType)
    {
        const QString type = declaredType.toUpper();
        if (type.contains(u"DATE"_s) || type.contains(u"TIME"_s))
            return u"jet_date"_s;
        if (type.contains(u"INT"_s))
            return u"jet_integer"_s;
        if (type.isEmpty() || type.contains(u"CHAR"_s) || type.contains(u"CLOB"_s) || type.contains(u"TEXT"_s)
            || type.contains(u"BLOB"_s))
            return {};
        return u"jet_number"_s;
    }

    static QString bare(const Token &name)
    {
        return name.kind == Token::Kind::Name ? name.text.mid(1, name.text.size() - 2) : name.text;
    }

    void coerceInsertValues()
    {
        if (!m_columns || !isWord(0, u"insert") || !isWord(1, u"into") || !at(2))
            return;
        const QList<JetSql::Column> tableColumns = m_columns(bare(*at(2)));
        if (tableColumns.isEmpty())
            return;
        QStringList targets;
        qsizetype n = 3;
        if (isSymbol(n, u"(")) {
            for (++n; at(n) && !isSymbol(n, u")"); ++n) {
                if (!isSymbol(n, u","))
                    targets.append(bare(*at(n)));
            }
            ++n;
        } else {
            for (const JetSql::Column &column : tableColumns)
                targets.append(column.name);
        }
        if (!isWord(n, u"values"))
            return;
        ++n;
        // One or more parenthesised rows of values.
        while (isSymbol(n, u"(")) {
            int depth = 0;
            int position = 0;
            qsizetype first = n + 1;
            for (++n; at(n); ++n) {
                const bool open = isSymbol(n, u"(");
                const bool close = isSymbol(n, u")");
                const bool comma = isSymbol(n, u",");
                if (depth == 0 && (close || comma)) {
                    wrapValue(first, n - 1, position < targets.size() ? targets.at(position) : QString(), tableColumns);
                    ++position;
                    first = n + 1;
                    if (close)
                        break;
                }
                depth += open ? 1 : (close ? -1 : 0);
            }
            ++n;
            if (!isSymbol(n, u","))
                break;
            ++n;
        }
    }

    void wrapValue(qsizetype first, qsizetype last, const QString &target, const QList<JetSql::Column> &columns)
    {
        if (last < first || target.isEmpty())
            return;
        for (const JetSql::Column &column : columns) {
            if (column.name.compare(target, Qt::CaseInsensitive) != 0)
                continue;
            const QString coercion = coercionFor(column.declaredType);
            if (!coercion.isEmpty()) {
                at(first)->out.prepend(coercion + u'(');
                at(last)->out.append(u')');
            }
            return;
        }
    }

    const QString &m_statement;
    const JetSql::ColumnLookup &m_columns;
    std::vector<Token> m_tokens;
    std::vector<qsizetype> m_significant;
    QString m_error;
};

} // namespace

JetSql::JetSql(ColumnLookup columns)
    : m_columns(std::move(columns))
{
}

QString JetSql::dateLiteral(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    return u"#%1/%2/%3 %4:%5:%6#"_s.arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(time.hour(), 2, 10, QLatin1Char('0'))
        .arg(time.minute(), 2, 10, QLatin1Char('0'))
        .arg(time.second(), 2, 10, QLatin1Char('0'));
}

std::optional<QString> JetSql::translate(const QString &statement)
{
    Translator translator(statement, m_columns);
    std::optional<QString> sql = translator.run();
    m_error = sql ? QString() : translator.error();
    return sql;
}
