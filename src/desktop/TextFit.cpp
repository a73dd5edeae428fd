// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktop/TextFit.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

QString withoutMnemonics(QString text)
{
    for (qsizetype at = text.indexOf(u'&'); at >= 0 && at < text.size(); at = text.indexOf(u'&', at + 1))
        text.remove(at, 1);
    return text;
}

// A push button's text room, as its style draws it, beside the rest of the button.
int pushButtonNeed(const QPushButton *button)
{
    if (button->text().isEmpty())
        return button->width();
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int text = button->fontMetrics().horizontalAdvance(withoutMnemonics(button->text()));
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return button->width() - room.width() + text + icon;
}

// The height a control's text needs: a check box's line (its mark may stand out of the
// box, as designed), a push button's text beside the rest, else the size hint's.
int neededHeight(const QWidget *control)
{
    if (qobject_cast<const QCheckBox *>(control))
        return control->fontMetrics().height();
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return button->height() - room.height() + button->fontMetrics().height();
    }
    if (qobject_cast<const QLabel *>(control) || qobject_cast<const QComboBox *>(control))
        return control->sizeHint().height();
    return control->height();
}

} // namespace

int TextFit::neededWidth(const QWidget *control)
{
    int need = control->width();
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (!label->wordWrap() && !label->text().isEmpty())
            need = label->sizeHint().width();
    } else if (const auto *box = qobject_cast<const QCheckBox *>(control)) {
        if (!box->text().isEmpty())
            need = box->sizeHint().width();
    } else if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        need = pushButtonNeed(button);
    } else if (const auto *combo = qobject_cast<const QComboBox *>(control)) {
        if (combo->sizeAdjustPolicy() == QComboBox::AdjustToContents)
            need = combo->sizeHint().width();
    }
    return std::max(need, control->width());
}

int TextFit::widen(QWidget *control, Anchor anchor)
{
    if (const auto *label = qobject_cast<const QLabel *>(control); label && label->wordWrap()) {
        const int height = label->heightForWidth(label->width());
        if (height > control->height())
            control->resize(control->width(), height);
        return 0;
    }
    const int growth = std::max(0, neededWidth(control) - control->width());
    // Taller type grows the control up and down alike, so that it stays on its row.
    const int taller = std::max(0, neededHeight(control) - control->height());
    if (growth == 0 && taller == 0)
        return 0;
    QRect place = control->geometry().adjusted(0, -taller / 2, 0, taller - taller / 2);
    if (anchor == Anchor::Right)
        place.setLeft(place.left() - growth);
    else
        place.setWidth(place.width() + growth);
    control->setGeometry(place);
    return growth;
}

void TextFit::flowRow(const QList<QWidget *> &row, int gap)
{
    const QWidget *before = nullptr;
    for (QWidget *control : row) {
        if (before && control->x() < before->geometry().right() + 1 + gap)
            control->move(before->geometry().right() + 1 + gap, control->y());
        widen(control);
        before = control;
    }
}

QSize TextFit::holdChildren(QWidget *container, int margin)
{
    QSize size = container->size();
    for (const QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden() || child->isWindow())
            continue;
        size = size.expandedTo({child->geometry().right() + 1 + margin, child->geometry().bottom() + 1 + margin});
    }
    if (size != container->size())
        container->resize(size);
    return size;
}

void TextFit::showLongestEntry(QComboBox *combo)
{
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    int longest = 0;
    for (int i = 0; i < combo->count(); ++i)
        longest = std::max(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    // The popup's frame and scroll bar take their room beside the entries.
    combo->view()->setMinimumWidth(longest + 2 * combo->view()->frameWidth()
        + combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, combo) + 8);
}
