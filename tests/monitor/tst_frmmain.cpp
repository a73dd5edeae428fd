// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Throughput.h"
#include "monitor/FrmMain.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The i-th poll of a run with traffic: growing volumes, idle stretches, a scale that widens.
void poll(MonitorView &view, int i)
{
    const QString volume = QString::number(i * 0.07, 'f', 2) + u" MB"_s;
    view.setDownloadText(volume);
    view.setUploadText(QString::number(i / 3 * 0.01, 'f', 2) + u" MB"_s);
    view.setCaption(volume + u" - Varnolt"_s);
    view.setGraphMax(i < 90 ? 150 : 400);
    const int rate = i % 40 < 25 ? (i * 37) % 300 : 0;
    view.addGraphValues(rate, rate / 3);
    view.setRateLine(u"U: 0,0 - D: %1 kBps. (Avg: 9.9 - Max: 300.0)"_s.arg(rate));
    view.setTrayTip(volume, i * 500);
}

// What the widgets of a window paint, in the window's coordinates.
struct Paints : QObject
{
    explicit Paints(QWidget *window)
        : window(window)
    {
        qApp->installEventFilter(this);
    }
    QWidget *window;
    QRegion region;
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(object);
        if (event->type() == QEvent::Paint && widget && widget->window() == window)
            region += static_cast<QPaintEvent *>(event)->region().translated(widget->mapTo(window, QPoint()));
        return false;
    }
};

} // namespace

// The monitor window's heights and what the poll's texts and colours become in it.
class TestFrmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void heights_data()
    {
        QTest::addColumn<int>("twips");
        QTest::addColumn<QString>("shown"); // of the designed rows (volumes, rates, volume left), those shown
        QTest::newRow("normal") << int(FrmMain::NormalHeight) << u"1110"_s;
        QTest::newRow("with the volume-left line") << int(FrmMain::VolumeLeftHeight) << u"1111"_s;
        QTest::newRow("mini: the title bar over the rate line") << int(FrmMain::MiniHeight) << u"0010"_s;
    }

    void heights()
    {
        QFETCH(int, twips);
        QFETCH(QString, shown);
        FrmMain window;
        window.setHeightTwips(twips);
        // The rows in order, each below the one before; each graph beside its volume, both
        // ending where the lines end.
        const QList<QRect> lines {window.downloadLabel()->geometry(), window.uploadLabel()->geometry(),
            window.rateLabel()->geometry(), window.volumeLeftLabel()->geometry()};
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY(lines[i].top() > lines[i - 1].bottom());
        const QList<std::pair<QRect, QRect>> beside {
            {lines[0], window.downGraph()->geometry()}, {lines[1], window.upGraph()->geometry()}};
        for (const auto &[volume, graph] : beside) {
            QVERIFY(graph.left() > volume.right());
            QVERIFY(graph.top() <= volume.center().y() && graph.bottom() >= volume.center().y());
            QCOMPARE(graph.right(), lines[2].right());
        }
        QCOMPARE(lines[3].right(), lines[2].right());
        // The rows the height shows lie wholly in the window, the others (and the upload graph
        // with its row) wholly out of it; the window is as tall as its rows, less than one row more.
        const QPoint body = window.rateLabel()->parentWidget()->pos();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRect at = lines[i].translated(body);
            QVERIFY(shown[i] == u'1' ? window.rect().contains(at) : !window.rect().intersects(at));
        }
        QCOMPARE(window.rect().intersects(beside[1].second.translated(body)), shown[1] == u'1');
        QVERIFY(window.height() - lines[shown.lastIndexOf(u'1')].translated(body).bottom() - 1 < lines[0].height());
        QVERIFY(window.width() - lines[2].right() - 1 < lines[2].left());

        // A refused row's reason: a line below the design, wrapped, the window grown to hold it and
        // nothing of the design showing through; gone, with the extra height, with the problem.
        const QSize designed = window.size();
        window.setStoreProblem({QStringLiteral("database or disk is full, and a reason long enough to need "
                                               "a second line of the window\nStatement: INSERT INTO Log"),
            false});
        QLabel *problem = window.storeProblemLabel();
        QVERIFY(problem && problem->isVisibleTo(&window));
        QCOMPARE(window.width(), designed.width());
        QVERIFY(window.rect().contains(problem->geometry()));
        QVERIFY(problem->geometry().top() >= designed.height());
        QVERIFY(problem->heightForWidth(problem->width()) <= problem->height());
        QVERIFY(problem->height() > QFontMetrics(problem->font()).height()); // wrapped
        const auto ink = [&] {
            const QImage area = window.grab().toImage().copy(problem->geometry());
            int count = 0;
            for (int y = 0; y < area.height(); ++y) {
                for (int x = 0; x < area.width(); ++x)
                    count += area.pixel(x, y) != window.palette().color(QPalette::Window).rgb() ? 1 : 0;
            }
            return count;
        };
        QVERIFY(ink() > 100);
        problem->hide(); // what lies beneath it
        QCOMPARE(ink(), 0);
        problem->show();
        window.setStoreProblem({});
        QVERIFY(!problem->isVisibleTo(&window));
        QCOMPARE(window.size(), designed);

        // A router's line, as plain text, below the design (in the mini state only while it does
        // not answer), the problem line below it; both gone, the window as designed again.
        QSignalSpy tip(&window, &FrmMain::sourceLineChanged);
        for (const bool silent : {false, true}) {
            window.setSourceLine({QStringLiteral("Router: <b>Box</b>"), {}, silent});
            window.setStoreProblem({QStringLiteral("locked"), true});
            const QRect source = window.sourceLabel()->geometry();
            QCOMPARE(window.sourceLabel()->isVisibleTo(&window), !window.isMini() || silent);
            QCOMPARE(window.sourceLabel()->textFormat(), Qt::PlainText);
            if (window.sourceLabel()->isVisibleTo(&window))
                QVERIFY(source.top() >= designed.height() && problem->geometry().top() > source.bottom());
            QVERIFY(window.rect().contains(problem->geometry()));
        }
        window.setSourceLine({});
        window.setStoreProblem({});
        QCOMPARE(window.size(), designed);
        QCOMPARE(tip.count(), 2);
    }

    void volumeLeftColours()
    {
        FrmMain window;
        const QLabel *line = window.volumeLeftLabel();
        QCOMPARE(line->palette().color(QPalette::WindowText), window.palette().color(QPalette::WindowText));
        // Green, orange and red (how readable on a theme, tst_windowfit measures).
        const QList<std::pair<VolumeAlert, int>> hues {{VolumeAlert::Green, 120}, {VolumeAlert::Orange, 30},
            {VolumeAlert::Red, 0}};
        for (const auto &[alert, hue] : hues) {
            window.setVolumeLeft(QStringLiteral("12 MB (1.2 %) Left."), alert);
            QCOMPARE(line->text(), QStringLiteral("12 MB (1.2 %) Left."));
            const QColor colour = line->palette().color(QPalette::WindowText);
            QVERIFY(std::abs(colour.hslHue() - hue) <= 2);
        }
    }

    void graphsShareOneScaleAndRedrawOnlyOnAChange()
    {
        FrmMain window;
        QSignalSpy changes(window.downGraph(), &Throughput::propertyChanged);
        window.setGraphMax(5);
        window.setGraphMax(5);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(window.upGraph()->max(), 5);
    }

    // Shown: its rows, the longest rate line fitted, F1 and the right click (Alt+Space is the
    // desktop test's, with a real key); closed: hidden, with the timer off until the poll
    // starts it.
    // Hidden, a run draws nothing, sets no title and builds no control; the tip changes once a
    // second; shown, the window is what one shown all along shows, to the pixel.
    void hiddenRunDrawsNothingThenShowsWhatShownShows()
    {
        FrmMain hidden, shown;
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        Paints paints(&hidden);
        QSignalSpy titles(&hidden, &QWidget::windowTitleChanged);
        QSignalSpy tips(&hidden, &FrmMain::trayTipChanged);
        for (int i = 0; i < 200; ++i) {
            poll(hidden, i);
            poll(shown, i);
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints.region, QRegion());
        QCOMPARE(titles.size(), 0);
        QVERIFY(hidden.findChildren<QLabel *>().isEmpty());
        QCOMPARE(tips.size(), 100);
        hidden.setTrayTip(hidden.trayTip(), 200 * 500); // the newest within a second, unchanged
        QCOMPARE(tips.last().first().toString(), hidden.trayTip());

        hidden.show();
        QVERIFY(QTest::qWaitForWindowExposed(&hidden));
        QCOMPARE(hidden.windowTitle(), shown.windowTitle());
        QCOMPARE(hidden.grab().toImage(), shown.grab().toImage());
    }

    // Shown, a poll whose figures did not change repaints nothing; one whose download volume
    // changed repaints that label's region alone, and a graph's new bar its slot alone.
    void shownPollRepaintsOnlyWhatChanged()
    {
        FrmMain window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        poll(window, 30); // an idle poll, into blank graphs
        QCoreApplication::processEvents();
        Paints paints(&window);
        poll(window, 30);
        QCoreApplication::processEvents();
        QCOMPARE(paints.region, QRegion());

        window.setDownloadText(u"9.99 MB"_s);
        QCoreApplication::processEvents();
        QLabel *download = window.downloadLabel();
        QCOMPARE(paints.region, QRegion(QRect(download->mapTo(&window, QPoint()), download->size())));

        paints.region = {};
        window.addGraphValues(150, 60);
        QCoreApplication::processEvents();
        const QPoint at = window.downGraph()->mapTo(&window, QPoint(window.downGraph()->width() - 2, 0));
        QCOMPARE(paints.region, QRegion(QRect(at, QSize(2, 17))) + QRegion(QRect(at + QPoint(0, 24), QSize(2, 17))));
        // As painted, 17 rows: a green bar of 150 / 150 x 17 - 1 = 16 rows up from the bottom, a red
        // one of 60 / 150 x 17 - 1 = 5.8, so 6 rows, down from the top; bars two pixels wide.
        const auto column = [](Throughput *graph, int x) {
            const QImage painted = graph->grab(graph->contentsRect()).toImage();
            QString rows;
            for (int y = 0; y < painted.height(); ++y)
                rows += QColor(painted.pixel(x, y)) == QColor(0, 255, 0) ? u'g'
                    : QColor(painted.pixel(x, y)) == QColor(255, 0, 0)   ? u'r'
                                                                         : u'.';
            return rows;
        };
        const int x = window.downGraph()->contentsRect().width() - 1;
        QCOMPARE(column(window.downGraph(), x), QString(1, u'.') + QString(16, u'g'));
        QCOMPARE(column(window.downGraph(), x - 2), QString(17, u'.'));
        QCOMPARE(column(window.upGraph(), x), QString(6, u'r') + QString(11, u'.'));
    }

    void shownWindowAnswersThenCloseHides()
    {
        FrmMain window;
        QSignalSpy shown(&window, &FrmMain::shownChanged);
        window.hide(); // never shown: nothing changes
        const QString longest = QStringLiteral("U: 23,456.7 - D: 1,234.5 Kbps. (Avg: 99.0 - Max: 9.0)");
        window.setRateLine(longest); // hidden: fitted when shown
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Built as the window shows, the controls show with it.
        QVERIFY(window.downloadLabel()->isVisible());
        QVERIFY(window.upGraph()->isVisible());
        const QLabel *line = window.rateLabel();
        QVERIFY(QFontMetrics(line->font()).horizontalAdvance(longest) <= line->width());
        window.setRateLine(QStringLiteral("U: 0,0 - D: 0,0 kBps. (Avg: 0.0 - Max: 0.0)"));
        QCOMPARE(line->font(), window.font());

        QSignalSpy help(&window, &FrmMain::helpRequested);
        QSignalSpy menu(&window, &FrmMain::menuRequested);
        QTest::keyPress(&window, Qt::Key_F1);
        QCOMPARE(help.size(), 0); // on release, as the key's up event
        QTest::keyRelease(&window, Qt::Key_F1);
        QCOMPARE(help.size(), 1);
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5), window.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&window, &rightClick);
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu.last().first().toPoint(), window.mapToGlobal(QPoint(5, 5)));

        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(shown, QList<QVariantList>({{true}, {false}}));
        QVERIFY(!window.pollTimer().isActive());
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
