#pragma once

#include <QIcon>

// The program's icon: a small dark tile with a green and a red bar, the colours of the
// monitor's two graphs, drawn at each size a tray or a window list asks for.
namespace AppIcon {
QIcon icon();
}
