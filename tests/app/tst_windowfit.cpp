// SPDX-License-Identifier: GPL-3.0-or-later
// Every window of the program, in the desktop's fonts and in a light and a dark palette: no
// control's text is wider or taller than the room the control gives it, no control reaches
// past its window, and the coloured texts keep a readable contrast, measured on the pixels.
// ctest runs it at 96 DPI and on a 192 DPI screen (WINDOWFIT_DPI names the one it runs on).
#include "RunningProgram.h"

#include "app/VarnoltApp.h"
#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "stats/FrmStats.h"
#include "stats/StatsChart.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QTreeWidget>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// The dark palette of the Fusion style's usual dark theme.
QPalette darkPalette()
{
    QPalette p(QColor(53, 53, 53));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, QColor(230, 230, 230));
    p.setColor(QPalette::Base, QColor(35, 35, 35));
    p.setColor(QPalette::Link, QColor(42, 130, 218));
    return p;
}

// WCAG 2 relative luminance and contrast ratio.
double luminance(QRgb rgb)
{
    auto channel = [](int c) {
        const double s = c / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a text as drawn: its background is the commonest colour of the area, the
// text's colour the pixel that stands out most from it (the core of a stem, not its edge).
double drawnContrast(const QImage &picture)
{
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y) | 0xFF000000u];
    if (counts.size() < 2)
        return 1;
    const QRgb background = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
        return a.second < b.second;
    })->first;
    double best = 1;
    for (const auto &[colour, count] : counts)
        best = std::max(best, contrast(colour, background));
    return best;
}

double drawnContrast(QWidget *control)
{
    QWidget *window = control->window();
    return drawnContrast(window->grab(QRect(control->mapTo(window, QPoint()), control->size())).toImage());
}

QString plain(QString text)
{
    return text.remove(QRegularExpression(u"&(?!&)"_s));
}

// What a control's text needs against the room it has, as "name: need > room", or nothing.
QStringList clipped(QWidget *control)
{
    QStringList found;
    const QFontMetrics fm(control->font());
    auto check = [&](const QString &text, int width, int height, const QRect &room) {
        if (width > room.width() || height > room.height())
            found << u"%1 '%2': %3x%4 in %5x%6"_s.arg(QString::fromLatin1(control->metaObject()->className()), text)
                         .arg(width).arg(height).arg(room.width()).arg(room.height());
    };
    if (auto *label = qobject_cast<QLabel *>(control); label && !label->text().isEmpty()) {
        const int margin = label->margin() * 2 + std::max(label->indent(), 0);
        const QRect room = label->contentsRect().adjusted(0, 0, -margin, -label->margin() * 2);
        if (label->wordWrap())
            check(label->text(), 0, label->heightForWidth(label->width()), label->rect());
        else {
            const QString text = Qt::mightBeRichText(label->text())
                ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
            const QStringList lines = QString(text).remove(u'\r').split(u'\n');
            for (const QString &line : lines)
                check(line, fm.horizontalAdvance(plain(line)), fm.height() * int(lines.size()), room);
        }
    } else if (auto *box = qobject_cast<QCheckBox *>(control); box && !box->text().isEmpty()) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect room = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        check(box->text(), fm.horizontalAdvance(plain(box->text())), fm.height(), room);
    } else if (auto *button = qobject_cast<QPushButton *>(control); button && !button->text().isEmpty()) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        check(button->text(), fm.horizontalAdvance(plain(button->text())), fm.height(), room);
    } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
        // Whichever entry is chosen must show whole on the face.
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const QRect room = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            check(combo->itemText(i), fm.horizontalAdvance(combo->itemText(i)), fm.height(), room);
    } else if (auto *group = qobject_cast<QGroupBox *>(control)) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel;
        const QRect room = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        // The style sizes the title to its text (in its own type): it must lie inside the frame.
        check(group->title(), room.width(), room.height(), group->rect().adjusted(room.left(), 0, 0, 0));
    } else if (auto *header = qobject_cast<QHeaderView *>(control)) {
        const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int i = 0; i < header->count(); ++i) {
            const QString text = header->model()->headerData(i, header->orientation()).toString();
            check(text, fm.horizontalAdvance(text) + margin, fm.height(), QRect(0, 0, header->sectionSize(i), header->height()));
        }
    }
    // No control is cut by its container's edge (one wholly outside is hidden by design).
    const QRect place = control->geometry();
    const QRect container = control->parentWidget()->rect();
    if (place.intersects(container) && !container.contains(place))
        found << u"%1 '%2' reaches past its window"_s.arg(QString::fromLatin1(control->metaObject()->className()), control->objectName());
    return found;
}

QStringList clippedIn(QWidget *window, const QString &where)
{
    QStringList found;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (control->isVisibleTo(window) && control->width() > 0)
            for (const QString &line : clipped(control))
                found << where + u": "_s + line;
    }
    return found;
}

} // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWindowFitsAndReads_data();
    void everyWindowFitsAndReads();
};

void TestWindowFit::everyWindowFitsAndReads_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("dark");
    for (const QString &family : {u"DejaVu Sans"_s, u"Noto Sans"_s}) {
        for (bool dark : {false, true})
            QTest::addRow("%s, %s", qPrintable(family), dark ? "dark" : "light") << family << dark;
    }
}

void TestWindowFit::everyWindowFitsAndReads()
{
    QFETCH(QString, family);
    QFETCH(bool, dark);
    if (!QFontDatabase::families().contains(family))
        QSKIP(qPrintable(family + u" is not installed"_s));
    // The DPI ctest asks for is the one the windows are laid out in.
    const int dpi = qEnvironmentVariableIntValue("WINDOWFIT_DPI");
    QVERIFY(dpi > 0);
    QFont font(family, 9);
    QApplication::setFont(font);
    QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
    RunningProgram run(QDateTime(QDate(2026, 12, 5), QTime(18, 0)));
    run.start({u"insert into log values ('2026-12-03 10:00:00', '2026-12-03 11:00:00', 2097152, 5242880, 40.0)"_s});
    QStringList found;

    FrmMain &monitor = *run.app->monitor();
    monitor.setHeightTwips(FrmMain::VolumeLeftHeight);
    monitor.show();
    QCOMPARE(monitor.logicalDpiY(), dpi);
    monitor.setRateLine(u"D: 99999.9 kB/s (Max: 99999.9) U: 99999.9 kB/s (Max: 99999.9)"_s);
    const std::pair<VolumeAlert, const char *> steps[] {
        {VolumeAlert::Green, "green"}, {VolumeAlert::Orange, "orange"}, {VolumeAlert::Red, "red"}};
    for (const auto &[alert, name] : steps) {
        monitor.setVolumeLeft(u"100 % left - 99999 MB Left."_s, alert);
        found << clippedIn(&monitor, u"monitor"_s);
        if (const double ratio = drawnContrast(monitor.volumeLeftLabel()); ratio < 4.5)
            found << u"monitor: the %1 volume left at %2:1"_s.arg(QLatin1String(name)).arg(ratio, 0, 'f', 2);
    }
    monitor.hide();

    FrmOptions &options = *run.app->options();
    options.showOptions();
    for (int page = 0; page < options.tbPages->count(); ++page) {
        options.tbPages->setCurrentIndex(page);
        found << clippedIn(&options, u"options page %1"_s.arg(page));
        if (page == FrmOptions::ResetPage && drawnContrast(options.lblAttention) < 4.5)
            found << u"options: the caution at %1:1"_s.arg(drawnContrast(options.lblAttention), 0, 'f', 2);
    }
    if (const double ratio = drawnContrast(options.linkToWeb); ratio < 4.5)
        found << u"options: the help link at %1:1"_s.arg(ratio, 0, 'f', 2);
    options.hide();

    run.app->openStats();
    FrmStats &stats = *run.app->stats();
    QVERIFY(QTest::qWaitForWindowExposed(&stats));
    found << clippedIn(&stats, u"statistics chart"_s);
    // The category labels below the plot, drawn in the chart's own colours.
    const QRect plot = stats.logChart->chart()->plotArea().toRect();
    const QImage chart = stats.logChart->grab().toImage();
    if (const double ratio = drawnContrast(chart.copy(plot.left(), plot.bottom() + 4, plot.width(), 14 * dpi / 96)); ratio < 4.5)
        found << u"statistics: the chart's labels at %1:1"_s.arg(ratio, 0, 'f', 2);
    stats.bttReport->click();
    found << clippedIn(&stats, u"statistics report"_s);
    stats.close();

    QMessageBox box(QMessageBox::Critical, u"Varnolt"_s, FrmOptions::storeFailedText(u"disk I/O error"_s),
        QMessageBox::Yes | QMessageBox::No);
    box.show();
    found << clippedIn(&box, u"message box"_s);

    found.removeDuplicates();
    QVERIFY2(found.isEmpty(), qPrintable(found.join(u'\n')));
}

QTEST_MAIN(TestWindowFit)
#include "tst_windowfit.moc"
