// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/AppIcon.h"

#include <QApplication>
#include <QImage>
#include <QTest>

class TestAppIcon : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isTheScalablePictureAtLargeSizes();
};

// A panel or a window switcher asks for far more than a tray's 22 pixels: the icon is drawn at
// the size asked, with the tile and both bars where the scalable file puts them.
void TestAppIcon::isTheScalablePictureAtLargeSizes()
{
    const QImage image = AppIcon::icon().pixmap(256).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(256, 256));
    QCOMPARE(image.pixelColor(1, 1).alpha(), 0); // the rounded corner
    QCOMPARE(image.pixelColor(76, 100), QColor(0, 220, 0)); // the tall green bar, left
    QCOMPARE(image.pixelColor(180, 100), QColor(0x26, 0x2b, 0x33)); // above the red bar
    QCOMPARE(image.pixelColor(180, 180), QColor(235, 40, 40)); // the short red bar, right
    QCOMPARE(image.pixelColor(128, 240), QColor(0x26, 0x2b, 0x33)); // the floor below both
}

QTEST_MAIN(TestAppIcon)
#include "tst_appicon.moc"
