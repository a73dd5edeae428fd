#pragma once

#include <QString>

// The desktop's own handlers: documents and web pages open in the user's default program,
// folders are picked in the desktop's folder dialog.
namespace DesktopServices {

// A path or an address (with a #section); false when nothing could open it.
bool openDocument(const QString &pathOrAddress);
// The chosen folder, or the fallback when the user cancels.
QString browseForFolder(const QString &title, const QString &fallback);

} // namespace DesktopServices
