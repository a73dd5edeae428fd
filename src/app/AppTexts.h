// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The run's own texts: the About box and the refusal of a second copy.
namespace AppTexts {
QString aboutTitle();
QString about();
QString alreadyRunning();
} // namespace AppTexts
