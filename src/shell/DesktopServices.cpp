#include "shell/DesktopServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace DesktopServices {

bool openDocument(const QString &pathOrAddress)
{
    QUrl url(pathOrAddress);
    if (url.scheme().isEmpty() || url.scheme().size() == 1) {
        const qsizetype section = pathOrAddress.indexOf(QLatin1Char('#'));
        url = QUrl::fromLocalFile(pathOrAddress.left(section));
        if (section >= 0)
            url.setFragment(pathOrAddress.mid(section + 1));
    }
    return QDesktopServices::openUrl(url);
}

QString browseForFolder(const QString &title, const QString &fallback)
{
    const QString folder = QFileDialog::getExistingDirectory(nullptr, title, QString(), QFileDialog::ShowDirsOnly);
    return folder.isEmpty() ? fallback : folder;
}

} // namespace DesktopServices
