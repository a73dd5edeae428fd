// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

// The run's own texts: the About box and the refusal of a second copy.
namespace AppTexts {
QString aboutTitle();
QString about();
QString alreadyRunning();
// At the end of a run whose last row the database refused: whether the journal holds it, and
// else since when its traffic is lost.
QString lastRowNotWritten(const QString &why, bool journaled, const QDateTime &lostFrom);
// The statistics window's module could not be loaded; why, in the loader's words.
QString statsMissing(const QString &why);
} // namespace AppTexts
