// SPDX-License-Identifier: GPL-3.0-or-later
// Every window in the desktop's fonts, light and dark: no text wider or taller than the room
// its control gives it, no control across its container's edge, the coloured texts readable
// (measured on the pixels). ctest runs it at 96 and 192 DPI (WINDOWFIT_DPI says which).
#include "RunningProgram.h"

#include "options/FrmOptions.h"
#include "stats/FrmStats.h"
#include "stats/StatsChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>

#include <map>

using namespace Qt::StringLiterals;

namespace {

double luminance(QRgb c)
{
    auto lin = [](int v) { return v <= 10 ? v / 3294.6 : std::pow((v / 255.0 + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

// WCAG 2's contrast of a text as drawn: its background the commonest colour of the picture,
// its colour the pixel that stands out most from it (a stem's core, not its smoothed edge).
double drawnContrast(const QImage &picture)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y) | 0xFF000000u];
    const double back = luminance(std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
        return a.second < b.second;
    })->first);
    double best = 1;
    for (const auto &entry : counts)
        best = std::max(best, (std::max(luminance(entry.first), back) + 0.05) / (std::min(luminance(entry.first), back) + 0.05));
    return best;
}

// The texts a control shows and the room its style gives each: a box's or a button's
// caption, a combo box's every entry (any may be chosen), a list's headers.
QList<std::pair<QString, QRect>> textsAndRooms(QWidget *control)
{
    QList<std::pair<QString, QRect>> texts;
    QStyle *style = control->style();
    QStyleOptionButton button;
    button.initFrom(control);
    if (auto *box = qobject_cast<QCheckBox *>(control)) {
        texts.append({box->text(), style->subElementRect(QStyle::SE_CheckBoxContents, &button, box)});
    } else if (auto *push = qobject_cast<QPushButton *>(control)) {
        texts.append({push->text(), style->subElementRect(QStyle::SE_PushButtonContents, &button, push)});
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        for (int i = 0; i < combo->count(); ++i)
            texts.append({combo->itemText(i), style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)});
    } else if (auto *header = qobject_cast<QHeaderView *>(control)) {
        const int margin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int i = 0; i < header->count(); ++i)
            texts.append({header->model()->headerData(i, Qt::Horizontal).toString(),
                QRect(0, 0, header->sectionSize(i) - 2 * margin, header->height())});
    }
    return texts;
}

// What is cut in the window: a text wider or taller than its room, a label's ink (where its
// alignment puts it) outside its place or under another control, a wrapped label's lines
// below its foot, a control across its container's edge (one wholly outside is hidden).
QStringList clippedIn(QWidget *window, const QString &where)
{
    QStringList found;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(window))
            continue;
        const QFontMetrics fm(control->font());
        for (const auto &[text, room] : textsAndRooms(control)) {
            const QString shown = QString(text).remove(QRegularExpression(u"&(?!&)"_s));
            if (!text.isEmpty() && (fm.horizontalAdvance(shown) > room.width() || fm.height() > room.height()))
                found << u"%1: '%2' needs %3 of %4x%5"_s.arg(where, shown).arg(fm.horizontalAdvance(shown)).arg(room.width()).arg(room.height());
        }
        const auto *label = qobject_cast<QLabel *>(control);
        if (label && label->wordWrap() && label->heightForWidth(label->width()) > label->height())
            found << where + u": '%1' wraps below its foot"_s.arg(label->text());
        if (label && !label->wordWrap() && !label->text().isEmpty()) {
            const QRect ink = QStyle::alignedRect(Qt::LeftToRight, label->alignment(),
                fm.size(Qt::TextShowMnemonic, label->text()), label->contentsRect());
            if (!label->contentsRect().contains(ink))
                found << where + u": '%1' needs %2x%3"_s.arg(label->text()).arg(ink.width()).arg(ink.height());
            for (QWidget *other : control->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
                if (other != label && other->isVisibleTo(window) && other->geometry().intersects(ink.translated(label->pos()))
                    && !other->inherits("QLabel") && !other->inherits("QGroupBox") && !other->inherits("QTabWidget"))
                    found << where + u": '%1' lies under a %2"_s.arg(label->text(), QLatin1String(other->metaObject()->className()));
        }
        const QRect container = control->parentWidget()->rect();
        if (control->geometry().intersects(container) && !container.contains(control->geometry()))
            found << where + u": a %1 crosses its container's edge"_s.arg(QLatin1String(control->metaObject()->className()));
    }
    return found;
}

} // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWindowFitsAndReads_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("dark");
        for (const QString &family : {u"DejaVu Sans"_s, u"Noto Sans"_s})
            for (bool dark : {false, true})
                QTest::addRow("%s, %s", qPrintable(family), dark ? "dark" : "light") << family << dark;
    }
    void everyWindowFitsAndReads();
};

void TestWindowFit::everyWindowFitsAndReads()
{
    QFETCH(QString, family);
    QFETCH(bool, dark);
    if (!QFontDatabase::families().contains(family))
        QSKIP(qPrintable(family + u" is not installed"_s));
    QApplication::setFont(QFont(family, 10)); // Plasma's default size
    QPalette palette = QApplication::style()->standardPalette();
    if (dark) { // the Fusion style's usual dark theme
        palette = QPalette(QColor(53, 53, 53));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            palette.setColor(role, QColor(230, 230, 230));
    }
    QApplication::setPalette(palette);
    RunningProgram run(QDateTime(QDate(2026, 12, 5), QTime(18, 0)));
    run.start({u"insert into log values ('2026-12-03 10:00:00', '2026-12-03 11:00:00', 2097152, 5242880, 40.0)"_s});
    QStringList found;
    auto readable = [&found](QWidget *text, const QString &what) {
        const QRect place(text->mapTo(text->window(), QPoint()), text->size());
        if (const double ratio = drawnContrast(text->window()->grab(place).toImage()); ratio < 4.5)
            found << u"%1 at %2:1"_s.arg(what).arg(ratio, 0, 'f', 2);
    };

    FrmMain &monitor = *run.app->monitor();
    monitor.setHeightTwips(FrmMain::VolumeLeftHeight);
    monitor.show();
    QCOMPARE(monitor.logicalDpiY(), qEnvironmentVariableIntValue("WINDOWFIT_DPI"));
    monitor.setRateLine(u"U: 23,456.7 - D: 1,234.5 Kbps. (Avg: 99.0 - Max: 9.0)"_s);
    for (VolumeAlert alert : {VolumeAlert::Green, VolumeAlert::Orange, VolumeAlert::Red}) {
        monitor.setVolumeLeft(u"100 % left - 99999 MB Left."_s, alert);
        found << clippedIn(&monitor, u"monitor"_s);
        readable(monitor.volumeLeftLabel(), u"the volume left, step %1,"_s.arg(int(alert)));
    }
    monitor.hide();

    FrmOptions &options = *run.app->options();
    options.showOptions();
    for (int page = 0; page < options.tbPages->count(); ++page) {
        options.tbPages->setCurrentIndex(page);
        found << clippedIn(&options, u"options page %1"_s.arg(page));
        if (options.lblAttention->isVisible())
            readable(options.lblAttention, u"the caution"_s);
    }
    readable(options.linkToWeb, u"the help link"_s);
    options.hide();

    run.app->openStats();
    FrmStats &stats = *run.app->stats();
    QVERIFY(QTest::qWaitForWindowExposed(&stats));
    found << clippedIn(&stats, u"statistics chart"_s);
    // The category labels below the plot, in the chart's own colours.
    const QRect plot = stats.logChart->chart()->plotArea().toRect();
    if (const double ratio = drawnContrast(stats.logChart->grab().toImage().copy(
            plot.left(), plot.bottom() + 4, plot.width(), plot.height() / 20)); ratio < 4.5)
        found << u"the chart's labels at %1:1"_s.arg(ratio, 0, 'f', 2);
    stats.bttReport->click();
    found << clippedIn(&stats, u"statistics report"_s);
    found.removeDuplicates();
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
}

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
