// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The desktop's own handlers: documents and web pages open in the user's default program,
// folders are picked in the desktop's folder dialog.
namespace DesktopServices {

// A path or an address (with a #section); false when nothing could open it.
bool openDocument(const QString &pathOrAddress);
// The help page beside the program (a path, with a #section): a missing or unreadable file,
// or a desktop that cannot open it, is told in a message box. False when it was told.
bool openHelpPage(const QString &pathWithSection);
// The chosen folder, or the fallback when the user cancels.
QString browseForFolder(const QString &title, const QString &fallback);

// Test seam: once set, no folder dialog appears; the next choice is the given folder (an
// empty text stands for a cancel). The titles asked for are recorded.
void setNextFolder(const QString &folder);
QStringList takeBrowseTitles();

} // namespace DesktopServices
