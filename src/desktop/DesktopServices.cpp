// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/DesktopServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

#include <optional>

namespace {

std::optional<QString> &presetFolder()
{
    static std::optional<QString> folder;
    return folder;
}

QStringList &browseTitles()
{
    static QStringList titles;
    return titles;
}

} // namespace

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
    QString folder;
    if (presetFolder()) {
        browseTitles() << title;
        folder = *presetFolder();
    } else {
        folder = QFileDialog::getExistingDirectory(nullptr, title, QString(), QFileDialog::ShowDirsOnly);
    }
    return folder.isEmpty() ? fallback : folder;
}

void setNextFolder(const QString &folder)
{
    presetFolder() = folder;
}

QStringList takeBrowseTitles()
{
    return std::exchange(browseTitles(), {});
}

} // namespace DesktopServices
