// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LogReset.h"

#include "core/Clock.h"
#include "core/store/FormatDateText.h"
#include "core/store/StoreSession.h"

#include <QLoggingCategory>

using namespace Qt::StringLiterals;

namespace {
Q_LOGGING_CATEGORY(lcReset, "varnolt.reset", QtInfoMsg)
} // namespace

LogReset::LogReset(QString databasePath, const Clock &clock)
    : m_path(std::move(databasePath))
    , m_clock(clock)
{
}

bool LogReset::run()
{
    m_error.clear();
    bool ok = true;
    StoreSession session(m_path);
    const auto step = [&](bool succeeded) {
        if (!succeeded && ok) {
            m_error = session.errorString();
            qCWarning(lcReset).noquote() << "log reset:" << m_error;
        }
        ok = ok && succeeded;
    };
    step(session.open());
    // Flushed at once, like log rows; only a setting of the connection, so not a step of its own.
    if (session.isOpen())
        (void)session.executeNative(u"PRAGMA synchronous=FULL"_s);
    step(session.execute(u"Delete * from log;"_s));
    const QString start = FormatDateText(m_clock.now());
    const QString end = FormatDateText(m_clock.now());
    step(session.execute(u"INSERT INTO Log values('"_s + start + u"','"_s + end + u"',0,0,0);"_s));
    return ok;
}

QString LogReset::errorString() const
{
    return m_error;
}
