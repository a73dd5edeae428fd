#include "controls/Throughput.h"

#include <QSignalSpy>
#include <QTest>

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

QString column(const QImage &image, int x)
{
    return pixels(image, QRect(x, 0, 1, image.height()));
}
QString row(const QImage &image, int y)
{
    return pixels(image, QRect(0, y, image.width(), 1));
}

QString bar(int length, int height, bool inverted)
{
    return inverted ? QString(length, u'#') + QString(height - length, u'.')
                    : QString(height - length, u'.') + QString(length, u'#');
}

enum class Change { BarWidth, Flat, Inverted, Size };

} // namespace

class TestThroughput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void barRectangles_data();
    void barRectangles();
    void scrolling_data();
    void scrolling();
    void changesClearTheGraph_data();
    void changesClearTheGraph();
    void rescaleOnMaxChange_data();
    void rescaleOnMaxChange();
    void colors_data();
    void colors();
    void defaults_data();
    void defaults();
    void readStoredProperties_data();
    void readStoredProperties();
    void writeStoredProperties();
};

void TestThroughput::barRectangles_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("rows"); // at the bottom, or at the top when inverted

    // Half of 17 less one is 7.5, even 8: rows 9 to 17, and row 17 lies below the picture.
    QTest::newRow("75 of 150") << 17 << 150 << 75 << false << 8;
    QTest::newRow("75 of 150 inverted") << 17 << 150 << 75 << true << 8;
    QTest::newRow("the scale leaves one row") << 17 << 150 << 150 << false << 16;
    QTest::newRow("above the scale, clipped") << 17 << 150 << 300 << false << 17;
    QTest::newRow("above the scale inverted") << 17 << 150 << 300 << true << 17;
    QTest::newRow("far above, no overflow") << 17 << 1 << 2147483647 << false << 17;
    QTest::newRow("3.5 - 1 rounds down to 2") << 7 << 2 << 1 << false << 2;
    QTest::newRow("2.5 - 1 rounds up to 2") << 5 << 2 << 1 << true << 2;
    QTest::newRow("14 of 150 is one row") << 17 << 150 << 14 << false << 1;
    QTest::newRow("5 of 150 is none") << 17 << 150 << 5 << false << 0;
    QTest::newRow("zero") << 17 << 150 << 0 << false << 0;
    QTest::newRow("negative") << 17 << 150 << -5 << false << 0;
    QTest::newRow("negative inverted") << 17 << 150 << -5 << true << 0;
    QTest::newRow("scale 0") << 17 << 0 << 75 << false << 0;
    QTest::newRow("scale 0 inverted") << 17 << 0 << 75 << true << 0;
    QTest::newRow("negative scale inverted") << 17 << -150 << 75 << true << 0;
}

void TestThroughput::barRectangles()
{
    QFETCH(int, height);
    QFETCH(int, max);
    QFETCH(int, value);
    QFETCH(bool, inverted);
    QFETCH(int, rows);

    auto graph = makeGraph(6, height, 2, max, inverted);
    graph->addValue(value);
    const QImage image = rendered(*graph);
    QCOMPARE(image.size(), QSize(6, height));
    QCOMPARE(pixels(image, QRect(0, 0, 4, height)), QString(4 * height, u'.'));
    QCOMPARE(column(image, 4), bar(rows, height, inverted));
    QCOMPARE(column(image, 5), bar(rows, height, inverted));
}

void TestThroughput::scrolling_data()
{
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("bottomRow");

    // With max 1, a value of 1 reaches the bottom row and 0 leaves its column empty.
    QTest::newRow("2 pixels, oldest scrolled out") << 2 << QList {1, 0, 1, 1, 0, 0, 1} << u"####....##"_s;
    QTest::newRow("3 pixels, oldest cut at the edge") << 3 << QList {1, 0, 1, 0} << u"#...###..."_s;
    QTest::newRow("1 pixel") << 1 << QList {1, 1, 0, 1} << u"......##.#"_s;
    QTest::newRow("wider than the graph") << 15 << QList {0, 1} << u"##########"_s;
    QTest::newRow("wider than the graph, empty") << 15 << QList {1, 0} << u".........."_s;
    QTest::newRow("width 0 draws nothing") << 0 << QList {1, 1} << u".........."_s;
    QTest::newRow("negative width draws nothing") << -2 << QList {1, 1} << u".........."_s;
}

void TestThroughput::scrolling()
{
    QFETCH(int, barWidth);
    QFETCH(QList<int>, values);

    auto graph = makeGraph(10, 17, barWidth, 1);
    for (const int value : values)
        graph->addValue(value);
    const QImage image = rendered(*graph);
    QTEST(row(image, 16), "bottomRow");
    QCOMPARE(row(image, 0), u".........."_s);
}

void TestThroughput::changesClearTheGraph_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("newestBar");

    QTest::newRow("bar width") << Change::BarWidth << u"...#######"_s;
    QTest::newRow("flat") << Change::Flat << u"........##"_s;
    QTest::newRow("inverted") << Change::Inverted << u"........##"_s;
    QTest::newRow("size") << Change::Size << u"......##"_s;
}

void TestThroughput::changesClearTheGraph()
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
    // The values are gone too: a new scale brings no old bar back.
    graph->setMax(2);
    QCOMPARE(rendered(*graph), blank);
    graph->setMax(1);
    graph->addValue(1);
    QTEST(row(rendered(*graph), graph->inverted() ? 0 : 16), "newestBar");
}

void TestThroughput::rescaleOnMaxChange_data()
{
    QTest::addColumn<QList<int>>("newMaxes");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<QList<int>>("lengths");

    // Rows of the bars of 75, 150, 300, 30 and 0 over a height of 17.
    // At 300: 75 is 4.25 - 1, 150 is 8.5 - 1 (even 8), 30 is 1.7 - 1.
    QTest::newRow("larger scale") << QList {300} << false << QList {3, 8, 16, 1, 0};
    QTest::newRow("larger scale inverted") << QList {300} << true << QList {3, 8, 16, 1, 0};
    // At 50: 75 and more are above the scale, 30 is 10.2 - 1.
    QTest::newRow("smaller scale") << QList {50} << false << QList {17, 17, 17, 9, 0};
    QTest::newRow("smaller scale inverted") << QList {50} << true << QList {17, 17, 17, 9, 0};
    // Back at 150: 75 is 8.5 - 1 (even 8), 150 is 16, 30 is 3.4 - 1.
    QTest::newRow("through 0 and back") << QList {0, 150} << false << QList {8, 16, 17, 2, 0};
    QTest::newRow("at 0") << QList {0} << false << QList {0, 0, 0, 0, 0};
}

void TestThroughput::rescaleOnMaxChange()
{
    QFETCH(QList<int>, newMaxes);
    QFETCH(bool, inverted);
    QFETCH(QList<int>, lengths);

    // Five bars fill the width; the first two values have scrolled out.
    const QList<int> values {9999, 1, 75, 150, 300, 30, 0};
    auto graph = makeGraph(10, 17, 2, 150, inverted);
    for (const int value : values)
        graph->addValue(value);
    for (const int max : newMaxes)
        graph->setMax(max);
    QCOMPARE(graph->max(), newMaxes.last());

    const QImage image = rendered(*graph);
    for (int i = 0; i < lengths.size(); ++i) {
        QCOMPARE(column(image, 2 * i), bar(lengths[i], 17, inverted));
        QCOMPARE(column(image, 2 * i + 1), bar(lengths[i], 17, inverted));
    }
    // The same picture as if every bar had been drawn at the new scale.
    auto fresh = makeGraph(10, 17, 2, newMaxes.last(), inverted);
    for (const int value : values)
        fresh->addValue(value);
    QCOMPARE(rendered(*fresh), image);
}

void TestThroughput::colors_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QColor>("color");

    QTest::newRow("red in the low byte") << 0x000000FFu << QColor(255, 0, 0);
    QTest::newRow("blue in the third byte") << 0x00FF0000u << QColor(0, 0, 255);
    QTest::newRow("mixed") << 0x00336699u << QColor(0x99, 0x66, 0x33);
    // The palette of the test gives these desktop colours values of their own.
    QTest::newRow("button face") << 0x8000000Fu << QColor(0x10, 0x20, 0x30);
    QTest::newRow("grey text") << 0x80000011u << QColor(0x70, 0x80, 0x90);
    QTest::newRow("button text") << 0x80000012u << QColor(0x40, 0x50, 0x60);
    QTest::newRow("a number without colour") << 0x80000019u << QColor(Qt::black);
    QTest::newRow("a number beyond the list") << 0x800000FFu << QColor(Qt::black);
}

void TestThroughput::colors()
{
    QFETCH(quint32, value);
    QFETCH(QColor, color);

    auto graph = makeGraph(4, 10, 2, 1);
    graph->setForeColor(value);
    graph->addValue(1);
    // A bar drawn in a desktop colour follows when the user switches themes.
    QPalette palette = graph->palette();
    palette.setColor(QPalette::Button, QColor(0x10, 0x20, 0x30));
    palette.setColor(QPalette::ButtonText, QColor(0x40, 0x50, 0x60));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x70, 0x80, 0x90));
    graph->setPalette(palette);
    QCOMPARE(rendered(*graph).pixelColor(3, 9), color);
    QCOMPARE(rendered(*graph).pixelColor(3, 0), QColor(Qt::white));
    // New colours recolour the bars already drawn.
    graph->setForeColor(0x00FFFFFFu);
    QCOMPARE(rendered(*graph).pixelColor(3, 9), QColor(Qt::white));
    graph->setBackColor(value);
    QCOMPARE(rendered(*graph).pixelColor(3, 0), color);
}

void TestThroughput::defaults_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<bool>("init");

    QTest::newRow("new graph") << QVariantMap() << true;
    QTest::newRow("nothing stored") << QVariantMap() << false;
    QTest::newRow("only other names") << QVariantMap {{u"max"_s, 5}, {u"Width"_s, 9}} << false;
}

void TestThroughput::defaults()
{
    QFETCH(QVariantMap, stored);
    QFETCH(bool, init);

    auto graph = makeGraph(10, 17, 5, 42, true);
    QSignalSpy changed(graph.get(), &Throughput::propertyChanged);
    if (init)
        graph->initProperties();
    else
        graph->readProperties(stored);

    QCOMPARE(graph->backColor(), 0x8000000Fu);
    QCOMPARE(graph->foreColor(), 0x80000012u);
    QCOMPARE(graph->max(), 100);
    QCOMPARE(graph->barWidth(), 2);
    QCOMPARE(graph->flat(), false);
    QCOMPARE(graph->inverted(), false);
    QStringList names;
    for (const QList<QVariant> &signal : changed)
        names += signal.first().toString();
    QCOMPARE(names, (QStringList {u"BackColor"_s, u"ForeColor"_s, u"Max"_s, u"BarWidth"_s, u"Flat"_s, u"Inverted"_s}));
}

void TestThroughput::readStoredProperties_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QVariantList>("expected"); // BackColor, ForeColor, Max, BarWidth, Flat, Inverted

    // Before reading, the graph has Max 42 and is flat; the rest is at the defaults.
    QTest::newRow("as text") << QVariantMap {{u"BackColor"_s, u"2147483665"_s}, {u"ForeColor"_s, u"255"_s},
        {u"Max"_s, u"150"_s}, {u"BarWidth"_s, u"3"_s}, {u"Flat"_s, u"false"_s}, {u"Inverted"_s, u"True"_s}}
                             << QVariantList {0x80000011u, 0xFFu, 150, 3, false, true};
    QTest::newRow("signed colour, -1 for true") << QVariantMap {{u"BackColor"_s, -2147483631}, {u"Inverted"_s, -1}}
                                                << QVariantList {0x80000011u, 0x80000012u, 100, 2, false, true};
    QTest::newRow("unreadable values keep theirs") << QVariantMap {{u"Max"_s, u"lots"_s}, {u"Flat"_s, u"maybe"_s},
        {u"BarWidth"_s, 5.0}, {u"ForeColor"_s, 0x1'0000'0000LL}, {u"Inverted"_s, 1}}
                                                   << QVariantList {0x8000000Fu, 0x80000012u, 42, 5, true, true};
    QTest::newRow("out of range") << QVariantMap {{u"Max"_s, 3000000000LL}, {u"BarWidth"_s, 1e300}}
                                  << QVariantList {0x8000000Fu, 0x80000012u, 42, 2, false, false};
}

void TestThroughput::readStoredProperties()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QVariantList, expected);

    Throughput graph;
    graph.setMax(42);
    graph.setFlat(true);
    graph.readProperties(stored);
    const QVariantList actual {
        graph.backColor(), graph.foreColor(), graph.max(), graph.barWidth(), graph.flat(), graph.inverted()};
    QCOMPARE(actual, expected);
}

void TestThroughput::writeStoredProperties()
{
    Throughput graph;
    graph.setBackColor(0x80000011u);
    graph.setForeColor(0x000000FFu);
    graph.setMax(150);
    graph.setFlat(true);
    graph.setInverted(true);
    QVariantMap stored {{u"Other"_s, 7}, {u"Max"_s, 5}};
    graph.writeProperties(stored);
    // Every property is written, the default bar width too.
    const QVariantMap written {{u"BackColor"_s, 0x80000011u}, {u"ForeColor"_s, 0xFFu}, {u"Max"_s, 150},
        {u"BarWidth"_s, 2}, {u"Flat"_s, true}, {u"Inverted"_s, true}};
    QVariantMap expected = written;
    expected.insert(u"Other"_s, 7);
    QCOMPARE(stored, expected);

    Throughput copy;
    copy.readProperties(stored);
    QVariantMap again;
    copy.writeProperties(again);
    QCOMPARE(again, written);
}

QTEST_MAIN(TestThroughput)
#include "tst_throughput.moc"
