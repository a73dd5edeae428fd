// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/MessageBox.h"

#include <optional>

namespace {

std::optional<QMessageBox::StandardButton> &presetAnswer()
{
    static std::optional<QMessageBox::StandardButton> answer;
    return answer;
}

QList<MessageBox::Shown> &shownBoxes()
{
    static QList<MessageBox::Shown> shown;
    return shown;
}

} // namespace

void MessageBox::critical(const QString &title, const QString &text)
{
    show(QMessageBox::Critical, title, text, QMessageBox::Ok);
}

void MessageBox::information(const QString &title, const QString &text)
{
    show(QMessageBox::Information, title, text, QMessageBox::Ok);
}

void MessageBox::warning(const QString &title, const QString &text)
{
    show(QMessageBox::Warning, title, text, QMessageBox::Ok);
}

QMessageBox::StandardButton MessageBox::question(const QString &title, const QString &text)
{
    return show(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    presetAnswer() = answer;
}

QList<MessageBox::Shown> MessageBox::takeShown()
{
    return std::exchange(shownBoxes(), {});
}

QMessageBox::StandardButton MessageBox::show(
    QMessageBox::Icon icon, const QString &title, const QString &text, QMessageBox::StandardButtons buttons)
{
    if (presetAnswer()) {
        shownBoxes().append({icon, title, text});
        return *presetAnswer();
    }
    QMessageBox box(icon, title, text, buttons);
    // Every question comes before something that cannot be undone (an erased log, a replaced
    // file): Return alone must not say yes.
    if (buttons.testFlag(QMessageBox::No))
        box.setDefaultButton(QMessageBox::No);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
