// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Throughput.h"

#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QRgb WhiteRgb = qRgb(255, 255, 255);
const QRgb GreenRgb = qRgb(0, 255, 0);

// A flat graph on white with green bars, shown so that it takes its size.
std::unique_ptr<Throughput> makeGraph(int width, int height, int barWidth, int max, bool inverted = false)
{
    auto graph = std::make_unique<Throughput>();
    graph->setFlat(true);
    graph->setBackColor(0x00FFFFFFu);
    graph->setForeColor(0x0000FF00u);
    graph->setBarWidth(barWidth);
    graph->setMax(max);
    graph->setInverted(inverted);
    graph->resize(width, height);
    graph->show();
    return graph;
}

// What the widget paints inside its frame.
QImage rendered(Throughput &graph)
{
    return graph.grab(graph.contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels as text: '.' background, '#' bar, '?' anything else.
QString pixels(const QImage &image, const QRect &line)
{
    QString text;
    for (int y = line.top(); y <= line.bottom(); ++y) {
        for (int x = line.left(); x <= line.right(); ++x)
            text += image.pixel(x, y) == WhiteRgb ? u'.' : image.pixel(x, y) == GreenRgb ? u'#' : u'?';
    }
    return text;
}

// The stored names of the properties, in the order the tables below list them.
const QStringList Names {u"BackColor"_s, u"ForeColor"_s, u"Max"_s, u"BarWidth"_s, u"Flat"_s, u"Inverted"_s};

enum class Change { BarWidth, Flat, Inverted, Size };

} // namespace

class TestThroughput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bars_data()
    {
        QTest::addColumn<QList<int>>("maxes"); // before the values, then changes after them
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<QList<int>>("lengths"); // rows of the five bars, oldest first

        // Half of 17 less one is 7.5, even 8: rows 9 to 17 from the top, and row 17 lies below the
        // picture. A full scale leaves one row free; far above it, a bar is clipped without overflow.
        const QList<int> fromTheExample {75, INT_MAX, 0, -5, 150};
        QTest::newRow("75 of 150") << QList {150} << fromTheExample << false << QList {8, 17, 0, 0, 16};
        // At 34: 2.5, 3.5, 0.5 and 1.5 rows round to even.
        QTest::newRow("halves to even") << QList {34} << QList {7, 9, 3, 5, 34} << false << QList {2, 4, 0, 2, 16};
        QTest::newRow("scale 0") << QList {0} << QList {1, 75, 150, 9999, INT_MAX} << false << QList {0, 0, 0, 0, 0};
        // Redrawn to a new scale from the five values still shown, which are 75, 150, 300, 30 and 0.
        // At 300: 75 is 4.25 - 1, 150 is 8.5 - 1 (even 8), 30 is 1.7 - 1.
        const QList<int> scrolled {9999, 1, 75, 150, 300, 30, 0};
        QTest::newRow("larger scale inverted") << QList {150, 300} << scrolled << true << QList {3, 8, 16, 1, 0};
        // Back at 150: 75 is 8.5 - 1 (even 8), 150 is 16, 30 is 3.4 - 1.
        QTest::newRow("through 0 and back") << QList {150, 0, 150} << scrolled << false << QList {8, 16, 17, 2, 0};
    }

    void bars()
    {
        QFETCH(QList<int>, maxes);
        QFETCH(QList<int>, values);
        QFETCH(bool, inverted);
        QFETCH(QList<int>, lengths);

        auto graph = makeGraph(10, 17, 2, maxes.first(), inverted);
        for (const int value : values)
            graph->addValue(value);
        for (const int max : maxes.mid(1))
            graph->setMax(max);
        const QImage image = rendered(*graph);
        for (int x = 0; x < 10; ++x) {
            const QString bar(lengths[x / 2], u'#'), gap(17 - lengths[x / 2], u'.');
            QCOMPARE(pixels(image, QRect(x, 0, 1, 17)), inverted ? bar + gap : gap + bar);
        }
    }

    void scrolling_data()
    {
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<QList<int>>("values");
        QTest::addColumn<QString>("bottomRow");

        // With max 1, a value of 1 reaches the bottom row and 0 leaves its column empty.
        QTest::newRow("3 pixels, oldest cut at the edge") << 3 << QList {1, 1, 0, 1, 0} << u"#...###..."_s;
        QTest::newRow("wider than the graph") << 15 << QList {0, 1} << u"##########"_s;
        QTest::newRow("width 0 draws nothing") << 0 << QList {1, 1} << u".........."_s;
        QTest::newRow("negative width draws nothing") << -2 << QList {1, 1} << u".........."_s;
    }

    void scrolling()
    {
        QFETCH(int, barWidth);
        QFETCH(QList<int>, values);

        auto graph = makeGraph(10, 17, barWidth, 1);
        for (const int value : values)
            graph->addValue(value);
        QTEST(pixels(rendered(*graph), QRect(0, 16, 10, 1)), "bottomRow");
    }

    void changesClearTheGraph_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("newestBar");

        QTest::newRow("bar width") << Change::BarWidth << u"...#######"_s;
        QTest::newRow("flat") << Change::Flat << u"........##"_s;
        QTest::newRow("inverted") << Change::Inverted << u"........##"_s;
        QTest::newRow("size") << Change::Size << u"......##"_s;
    }

    void changesClearTheGraph()
    {
        QFETCH(Change, change);

        auto graph = makeGraph(10, 17, 2, 1);
        if (change == Change::Flat) {
            graph->setFlat(false);
            QVERIFY(graph->graphWidth() < 10 && graph->graphHeight() < 17);
        }
        for (int i = 0; i < 5; ++i)
            graph->addValue(1);
        if (change == Change::BarWidth)
            graph->setBarWidth(7);
        else if (change == Change::Flat)
            graph->setFlat(true);
        else if (change == Change::Inverted)
            graph->setInverted(true);
        else
            graph->resize(8, 17);

        QImage blank(graph->graphWidth(), 17, QImage::Format_RGB32);
        blank.fill(WhiteRgb);
        QCOMPARE(rendered(*graph), blank);
        // The values are gone too: at a new scale the newest bar is the only one.
        graph->setMax(2);
        graph->addValue(2);
        QTEST(pixels(rendered(*graph), QRect(0, graph->inverted() ? 0 : 16, graph->graphWidth(), 1)), "newestBar");
    }

    void colors_data()
    {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QColor>("color");

        QTest::newRow("0x00BBGGRR") << 0x00336699u << QColor(0x99, 0x66, 0x33);
        // The palette of the test gives grey text a value of its own.
        QTest::newRow("grey text") << 0x80000011u << QColor(0x70, 0x80, 0x90);
        QTest::newRow("a number without colour") << 0x80000019u << QColor(Qt::black);
        QTest::newRow("a number beyond the list") << 0x800000FFu << QColor(Qt::black);
    }

    void colors()
    {
        QFETCH(quint32, value);
        QFETCH(QColor, color);

        auto graph = makeGraph(4, 10, 2, 1);
        graph->setForeColor(value);
        graph->addValue(1);
        // A bar drawn in a desktop colour follows when the user switches themes.
        QPalette palette = graph->palette();
        palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x80, 0x90));
        graph->setPalette(palette);
        QCOMPARE(rendered(*graph).pixelColor(3, 9), color);
        // New colours recolour the bars already drawn.
        graph->setForeColor(0x00FFFFFFu);
        QCOMPARE(rendered(*graph).pixelColor(3, 9), QColor(Qt::white));
        graph->setBackColor(value);
        QCOMPARE(rendered(*graph).pixelColor(3, 0), color);
    }

    void storedProperties_data()
    {
        QTest::addColumn<QVariantMap>("stored"); // empty for a new graph
        QTest::addColumn<QVariantList>("expected"); // BackColor, ForeColor, Max, BarWidth, Flat, Inverted
        QTest::addColumn<QStringList>("announced"); // so that the host saves them

        // Before reading, the graph is flat and inverted, white with green bars, with Max 42 and bar width 5.
        const QVariantList defaults {0x8000000Fu, 0x80000012u, 100, 2, false, false};
        QTest::newRow("new graph") << QVariantMap() << defaults << Names;
        QTest::newRow("missing names read as the defaults")
            << QVariantMap {{u"max"_s, 5}, {u"Width"_s, 9}} << defaults << Names;
        QTest::newRow("text, colours signed and not, -1 for true")
            << QVariantMap {{u"BackColor"_s, -2147483631}, {u"ForeColor"_s, 0x8000000Fu}, {u"Max"_s, u"150"_s},
                   {u"BarWidth"_s, u"3"_s}, {u"Flat"_s, u"False"_s}, {u"Inverted"_s, -1}}
            << QVariantList {0x80000011u, 0x8000000Fu, 150, 3, false, true} << Names;
        QTest::newRow("unreadable values keep theirs, 0.0 is false") << QVariantMap {{u"ForeColor"_s, 0x1'0000'0000LL},
            {u"Max"_s, 3000000000LL}, {u"BarWidth"_s, 1e300}, {u"Flat"_s, u"maybe"_s},
            {u"Inverted"_s, 0.0}} << QVariantList {0x8000000Fu, 0x0000FF00u, 42, 5, true, false}
                                                                     << QStringList {u"BackColor"_s, u"Inverted"_s};
    }

    void storedProperties()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QVariantList, expected);

        auto graph = makeGraph(10, 17, 5, 42, true);
        QSignalSpy changed(graph.get(), &Throughput::propertyChanged);
        stored.isEmpty() ? graph->initProperties() : graph->readProperties(stored);
        QStringList announced;
        for (const QList<QVariant> &signal : changed)
            announced += signal.first().toString();
        QTEST(announced, "announced");
        // Every property is written, next to what else the store holds.
        QVariantMap written {{u"Other"_s, 7}};
        graph->writeProperties(written);
        for (int i = 0; i < Names.size(); ++i)
            QCOMPARE(written.take(Names[i]), expected[i]);
        QCOMPARE(written.keys(), QStringList {u"Other"_s});
    }
};

QTEST_MAIN(TestThroughput)
#include "tst_throughput.moc"
