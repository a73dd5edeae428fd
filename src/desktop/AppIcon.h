// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The program's icon: a small dark tile with a green and a red bar, the colours of the
// monitor's two graphs.
namespace AppIcon {
QIcon icon();
}
