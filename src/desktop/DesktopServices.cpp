// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/DesktopServices.h"

#include "desktop/MessageBox.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
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

bool openHelpPage(const QString &pathWithSection)
{
    // Without a page or a program to show it the desktop only writes a line on standard
    // error, which a user started from the menu never sees: a box names the file and why.
    const QString path = pathWithSection.left(pathWithSection.indexOf(QLatin1Char('#')));
    const QFileInfo page(path);
    QString why;
    if (!page.exists())
        why = QStringLiteral("the file does not exist");
    else if (!page.isFile() || !page.isReadable())
        why = QStringLiteral("the file cannot be read");
    else if (!openDocument(pathWithSection))
        why = QStringLiteral("no program on this desktop opens it");
    if (why.isEmpty())
        return true;
    MessageBox::warning(QStringLiteral("Varnolt"),
        QStringLiteral("The help page %1 could not be opened: %2.").arg(QDir::toNativeSeparators(path), why));
    return false;
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
