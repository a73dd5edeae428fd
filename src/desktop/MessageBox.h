// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

// Every message box of the program goes through here, so that tests can answer the
// questions and read what would have been shown, without a box on the screen.
class MessageBox final
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    static void critical(const QString &title, const QString &text);
    static void information(const QString &title, const QString &text);
    static void warning(const QString &title, const QString &text);
    static QMessageBox::StandardButton question(const QString &title, const QString &text);

    // Test seam: once set, no box appears; questions get the preset answer and every box
    // is recorded.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static QList<Shown> takeShown();

private:
    static QMessageBox::StandardButton show(
        QMessageBox::Icon icon, const QString &title, const QString &text, QMessageBox::StandardButtons buttons);
};
