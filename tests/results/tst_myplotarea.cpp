#include "myplotarea.h"
#include "widgetimage.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace residualplot;

namespace {

const QColor kBase(250, 250, 240);
const QColor kDark(60, 60, 60);

// A plot with recognisable Base and Dark colours, so that background and frame can be told apart.
void preparePlot(myPlotArea &plot, int width, int height)
{
    QPalette palette = plot.palette();
    palette.setColor(QPalette::Base, kBase);
    palette.setColor(QPalette::Dark, kDark);
    palette.setColor(QPalette::Text, QColor(10, 10, 10));
    plot.setPalette(palette);
    plot.resize(width, height);
}

QStringList texts(const QVector<double> &values)
{
    QStringList list;
    for (double v : values)
        list << QString::number(v, 'f', 3).rightJustified(13);
    return list;
}

bool isBackground(const QImage &image, int x, int y)
{
    return colourNear(image.pixelColor(x, y), kBase, 0);
}

const QColor kText(10, 10, 10);
const QColor kCritical(0, 128, 0);

// Whether anything is painted in the rectangle `box` of `image`.
bool painted(const QImage &image, const QRect &box)
{
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (!isBackground(image, x, y))
                return true;
        }
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(QVector<double>)

class tst_myPlotArea : public QObject
{
    Q_OBJECT

private slots:
    void histogramClass_data();
    void histogramClass();
    void histogramCountsOfFiveValues();
    void histogramClassSpan_data();
    void histogramClassSpan();
    void histogramPixels();
    void normalSampleFollowsDensity();
    void rankingBars_data();
    void rankingBars();
    void rankingMoreRanksThanPixels();
    void rankingPixels();
    void rankingSubRangePixels();
    void frameOnly_data();
    void frameOnly();
    void dataAndRange();
    void sizes();
    void axisTicks_data();
    void axisTicks();
    void histogramAxesAndCriticalValue();
    void rankingAxesAndCriticalValue();
};

void tst_myPlotArea::histogramClass_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("-4") << -4.0 << 0;
    QTest::newRow("just below -3.5") << -3.5000001 << 0;
    QTest::newRow("-3.5 exactly") << -3.5 << 1;
    QTest::newRow("-1.2") << -1.2 << 5;
    QTest::newRow("-0.5") << -0.5 << 7;
    QTest::newRow("just below 0") << -0.001 << 7;
    QTest::newRow("0") << 0.0 << 8;
    QTest::newRow("0.2") << 0.2 << 8;
    QTest::newRow("3.0 exactly") << 3.0 << 14;
    QTest::newRow("just below 3.5") << 3.499 << 14;
    QTest::newRow("3.5") << 3.5 << 15;
    QTest::newRow("huge") << 1e9 << 15;
    QTest::newRow("-inf") << -inf << 0;
    QTest::newRow("+inf") << inf << 15;
}

void tst_myPlotArea::histogramClass()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(residualplot::histogramClass(value), expected);
}

void tst_myPlotArea::histogramCountsOfFiveValues()
{
    const auto counts = histogramCounts({-4.0, -1.2, 0.0, 0.2, 3.5});
    for (int j = 0; j < kHistogramClassCount; ++j) {
        const int expected = j == 0 || j == 5 || j == 15 ? 1 : j == 8 ? 2 : 0;
        QCOMPARE(counts[j], expected);
    }
    // Class 8 holds 2 of 5 values: 2·2/5 of the height, i.e. its top at 1/5 of the height.
    const QVector<QRectF> bars = histogramBars({-4.0, -1.2, 0.0, 0.2, 3.5}, 400, 200);
    QCOMPARE(bars.size(), kHistogramClassCount);
    QCOMPARE(bars[8].top(), 40.0);
    QCOMPARE(bars[8].bottom(), 200.0);
    QCOMPARE(bars[7].top(), 200.0);
}

void tst_myPlotArea::histogramClassSpan_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");

    QTest::newRow("-0.5 to 0 on 400") << 400 << 7 << 175 << 200;
    QTest::newRow("below -3.5 on 400") << 400 << 0 << 0 << 25;
    QTest::newRow("from 3.5 on 400") << 400 << 15 << 375 << 400;
    QTest::newRow("width 407 keeps u 50") << 407 << 7 << 175 << 200;
    QTest::newRow("odd unit rounds down") << 408 << 1 << 25 << 51;
    QTest::newRow("last class of odd unit") << 408 << 15 << 382 << 408;
}

void tst_myPlotArea::histogramClassSpan()
{
    QFETCH(int, width);
    QFETCH(int, index);
    QFETCH(int, left);
    QFETCH(int, right);
    const QRectF span = residualplot::histogramClassSpan(index, width);
    QCOMPARE(span.left(), double(left));
    QCOMPARE(span.right(), double(right));
}

void tst_myPlotArea::histogramPixels()
{
    myPlotArea plot;
    preparePlot(plot, 400, 200);
    plot.setMode(myPlotArea::ModeHistogram);
    plot.setData(texts({-4.0, -1.2, 0.0, 0.2, 3.5}));
    const QImage image = renderWidget(plot);

    // Class 8 (0 to 0.5, x 200 to 225) reaches y = 40; class 0 and class 15 reach y = 120.
    QCOMPARE(image.pixelColor(212, 100), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(212, 42), QColor(Qt::blue));
    QVERIFY(isBackground(image, 212, 37));
    QCOMPARE(image.pixelColor(12, 125), QColor(Qt::blue));
    QVERIFY(isBackground(image, 12, 115));
    QCOMPARE(image.pixelColor(387, 125), QColor(Qt::blue));
    QVERIFY(isBackground(image, 387, 115));
    // Class 5 (-1.5 to -1.0, x 125 to 150) holds one value; class 7 (x 175 to 200) none.
    QCOMPARE(image.pixelColor(137, 160), QColor(Qt::blue));
    QVERIFY(isBackground(image, 132, 115));
    QVERIFY(isBackground(image, 187, 150));
    // The outline between two filled classes is dark blue.
    QVERIFY(colourNear(image.pixelColor(200, 100), QColor(Qt::darkBlue), 70));

    // The density at t = -2 is 0.05399: at x = 100 the curve passes y = 200 - 0.05399·200 = 189.2.
    const QColor curve = image.pixelColor(100, 189);
    QVERIFY2(curve.red() > 150 && curve.green() < 150 && curve.blue() < 150,
             qPrintable(curve.name()));
    QVERIFY(isBackground(image, 100, 183));
    // Frame in the Dark colour on all four edges.
    QCOMPARE(image.pixelColor(0, 100), kDark);
    QCOMPARE(image.pixelColor(399, 100), kDark);
    QCOMPARE(image.pixelColor(212, 0), kDark);
    QCOMPARE(image.pixelColor(212, 199), kDark);
}

void tst_myPlotArea::normalSampleFollowsDensity()
{
    // 100,000 values spread over the classes exactly as the standard normal law spreads them.
    const auto cdf = [](double t) { return 0.5 * std::erfc(-t / std::sqrt(2.0)); };
    QVector<double> values;
    for (int j = 1; j < 15; ++j) {
        const double from = -4.0 + 0.5 * j;
        const int count = int(std::lround(100000 * (cdf(from + 0.5) - cdf(from))));
        values.insert(values.end(), count, from + 0.25);
    }
    const QVector<QRectF> bars = histogramBars(values, 400, 200);
    const QPolygonF curve = densityCurve(400, 200);
    QCOMPARE(curve.size(), 82);
    QCOMPARE(curve.first(), QPointF(0, 200));
    QCOMPARE(curve.last().x(), 400.0);
    // Class j covers -4 + 0.5 j to -3.5 + 0.5 j: its middle lies halfway between two points.
    for (int j = 1; j < 15; ++j) {
        const int point = 1 + 5 * j + 2;
        const double middle = (curve[point].y() + curve[point + 1].y()) / 2.0;
        QVERIFY2(std::abs(bars[j].top() - middle) < 2.0,
                 qPrintable(QStringLiteral("class %1: bar at %2, curve at %3")
                                .arg(j)
                                .arg(bars[j].top())
                                .arg(middle)));
    }
}

void tst_myPlotArea::rankingBars_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QVector<double>>("edges"); // left, right, top of each bar in turn

    // s = (200 - 19) / 4 = 45.25
    QTest::newRow("four bars of 100 pixels")
        << QVector<double>{-4, 3, -2, 1} << 1.0 << 4.0
        << QVector<double>{0, 100, 19, 100, 200, 64, 200, 300, 109, 300, 400, 154};
    QTest::newRow("ranks 2 to 3") << QVector<double>{4, 3, 2, 1} << 2.0 << 3.0
                                  << QVector<double>{0, 200, 64, 200, 400, 109};
    QTest::newRow("one rank fills the width")
        << QVector<double>{4, 3, 2, 1} << 4.0 << 4.0 << QVector<double>{0, 400, 154};
    QTest::newRow("ranks past the end draw nothing")
        << QVector<double>{4, 2} << 1.0 << 4.0 << QVector<double>{0, 100, 19, 100, 200, 109};
    QTest::newRow("rank 0 keeps its place")
        << QVector<double>{4, 2} << 0.0 << 1.0 << QVector<double>{200, 400, 19};
    QTest::newRow("fractional widths fill the width")
        << QVector<double>{4, 4, 4} << 1.0 << 3.0
        << QVector<double>{0, 133, 19, 133, 266, 19, 266, 400, 19};
    QTest::newRow("empty range") << QVector<double>{4, 3} << 3.0 << 1.0 << QVector<double>{};
    QTest::newRow("no data") << QVector<double>{} << 1.0 << 0.0 << QVector<double>{};
    QTest::newRow("first value 0") << QVector<double>{0, 0} << 1.0 << 2.0 << QVector<double>{};
}

void tst_myPlotArea::rankingBars()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QVector<double>, edges);

    const QVector<QRectF> bars = residualplot::rankingBars(values, low, high, 400, 200);
    QCOMPARE(bars.size() * 3, edges.size());
    for (int i = 0; i < bars.size(); ++i) {
        QCOMPARE(bars[i].left(), edges[3 * i]);
        QCOMPARE(bars[i].right(), edges[3 * i + 1]);
        QCOMPARE(bars[i].top(), edges[3 * i + 2]);
        QCOMPARE(bars[i].bottom(), 200.0);
    }
}

void tst_myPlotArea::rankingMoreRanksThanPixels()
{
    // 1000 ranks on 400 pixels: every pixel column gets one bar, as high as the largest of the
    // ranks that fall into it, and the chart reaches the right edge.
    QVector<double> values;
    for (int i = 0; i < 1000; ++i)
        values << 10.0 - i / 200.0;
    const QVector<QRectF> bars = residualplot::rankingBars(values, 1, 1000, 400, 200);
    QCOMPARE(bars.size(), 400);
    for (int c = 0; c < bars.size(); ++c) {
        QCOMPARE(bars[c].left(), double(c));
        QCOMPARE(bars[c].right(), double(c + 1));
    }
    QCOMPARE(bars.first().top(), 19.0);
    // Column 399 holds the last two ranks, the higher 5.01: 200 - 5.01·18.1 = 109.3.
    QCOMPARE(bars.last().top(), 109.0);

    myPlotArea plot;
    preparePlot(plot, 400, 200);
    plot.setMode(myPlotArea::ModeRanking);
    plot.setData(texts(values));
    const QImage image = renderWidget(plot);
    // Bars one pixel wide are all outline.
    for (int x : {1, 200, 398}) {
        const QColor bar = image.pixelColor(x, 150);
        QVERIFY2(bar.red() > 100 && bar.green() < 40 && bar.blue() < 40, qPrintable(bar.name()));
    }
}

void tst_myPlotArea::rankingPixels()
{
    myPlotArea plot;
    preparePlot(plot, 400, 200);
    plot.setMode(myPlotArea::ModeRanking);
    plot.setData(texts({-4, 3, -2, 1}));
    const QImage image = renderWidget(plot);

    // Bar tops at 19, 64, 109, 154; the bars meet at x = 100, 200, 300.
    const int middles[] = {50, 150, 250, 350};
    const int tops[] = {19, 64, 109, 154};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(image.pixelColor(middles[i], tops[i] + 2), QColor(Qt::red));
        QCOMPARE(image.pixelColor(middles[i], 190), QColor(Qt::red));
        QVERIFY(isBackground(image, middles[i], tops[i] - 2));
    }
    for (int edge : {100, 200, 300})
        QVERIFY(colourNear(image.pixelColor(edge, 180), QColor(Qt::darkRed), 70));
    QCOMPARE(image.pixelColor(0, 100), kDark);
    QCOMPARE(image.pixelColor(399, 190), kDark);
}

void tst_myPlotArea::rankingSubRangePixels()
{
    myPlotArea plot;
    preparePlot(plot, 400, 200);
    plot.setMode(myPlotArea::ModeRanking);
    plot.setData(texts({4, 3, 2, 1}));
    plot.setRange(3, 4);
    const QImage image = renderWidget(plot);
    // Ranks 3 and 4, two bars of 200 pixels with tops at 109 and 154.
    QCOMPARE(image.pixelColor(100, 111), QColor(Qt::red));
    QVERIFY(isBackground(image, 100, 107));
    QCOMPARE(image.pixelColor(300, 156), QColor(Qt::red));
    QVERIFY(isBackground(image, 300, 152));
}

void tst_myPlotArea::frameOnly_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("data");

    QTest::newRow("nothing") << int(myPlotArea::ModeNone) << texts({1, 2});
    QTest::newRow("ranking without data") << int(myPlotArea::ModeRanking) << QStringList();
    QTest::newRow("ranking from 0") << int(myPlotArea::ModeRanking) << texts({0, 0, 0});
    QTest::newRow("ranking of texts that are not numbers")
        << int(myPlotArea::ModeRanking) << QStringList{"abc", "nan"};
    QTest::newRow("histogram without data") << int(myPlotArea::ModeHistogram) << QStringList();
}

void tst_myPlotArea::frameOnly()
{
    QFETCH(int, mode);
    QFETCH(QStringList, data);

    myPlotArea plot;
    preparePlot(plot, 120, 100);
    plot.setMode(mode);
    plot.setData(data);
    const QImage image = renderWidget(plot);
    for (int y = 1; y < 99; ++y) {
        for (int x = 1; x < 119; ++x) {
            if (!isBackground(image, x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 painted").arg(x).arg(y)));
        }
    }
    for (int x = 0; x < 120; ++x) {
        QCOMPARE(image.pixelColor(x, 0), kDark);
        QCOMPARE(image.pixelColor(x, 99), kDark);
    }
    for (int y = 0; y < 100; ++y) {
        QCOMPARE(image.pixelColor(0, y), kDark);
        QCOMPARE(image.pixelColor(119, y), kDark);
    }
}

void tst_myPlotArea::dataAndRange()
{
    myPlotArea plot;
    QCOMPARE(plot.mode(), 0);
    QCOMPARE(plot.low(), 0.0);
    QCOMPARE(plot.high(), 1.0);

    plot.setData(texts({3, 2, 1}));
    QCOMPARE(plot.low(), 1.0);
    QCOMPARE(plot.high(), 3.0);
    QCOMPARE(plot.data().size(), 3);

    plot.setRange(2, 3);
    QCOMPARE(plot.low(), 2.0);
    QCOMPARE(plot.high(), 3.0);

    plot.setData({});
    QCOMPARE(plot.low(), 1.0);
    QCOMPARE(plot.high(), 0.0);
}

void tst_myPlotArea::sizes()
{
    myPlotArea plot;
    QCOMPARE(plot.sizeHint(), QSize(400, 200));
    QCOMPARE(plot.minimumSizeHint(), QSize(100, 100));
}

void tst_myPlotArea::axisTicks_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<int>("maxCount");
    QTest::addColumn<QVector<double>>("ticks");

    QTest::newRow("0 to 4.2") << 0.0 << 4.2 << 5 << QVector<double>{0, 1, 2, 3, 4};
    QTest::newRow("-4 to 4 in steps of 2") << -4.0 << 4.0 << 4 << QVector<double>{-4, -2, 0, 2, 4};
    QTest::newRow("shares") << 0.0 << 0.5 << 5 << QVector<double>{0, 0.1, 0.2, 0.3, 0.4, 0.5};
    QTest::newRow("ranks") << 1.0 << 1000.0 << 5 << QVector<double>{200, 400, 600, 800, 1000};
    QTest::newRow("steps of 5") << 3.0 << 27.0 << 5 << QVector<double>{5, 10, 15, 20, 25};
    QTest::newRow("empty") << 3.0 << 1.0 << 5 << QVector<double>{};
    QTest::newRow("no room") << 0.0 << 1.0 << 0 << QVector<double>{};
}

void tst_myPlotArea::axisTicks()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(int, maxCount);
    QFETCH(QVector<double>, ticks);
    const QVector<double> found = residualplot::axisTicks(from, to, maxCount);
    QCOMPARE(found.size(), ticks.size());
    for (int k = 0; k < ticks.size(); ++k)
        QVERIFY2(std::abs(found[k] - ticks[k]) < 1e-12, qPrintable(QString::number(found[k])));
}

void tst_myPlotArea::histogramAxesAndCriticalValue()
{
    myPlotArea plot;
    preparePlot(plot, 420, 260);
    plot.setAxesShown(true);
    plot.setMode(myPlotArea::ModeHistogram);
    plot.setData(texts({-4.0, -1.2, 0.0, 0.2, 3.5}));
    plot.setCriticalValue(1.96);
    const QImage image = renderWidget(plot);
    const QRect area = plot.plotRect();
    QVERIFY(area.left() > 20 && area.bottom() < 260 - 20 && area.right() < 420 && area.top() > 0);

    // -4 at the left edge, 4 at 8 units: a tick and its value under every other whole number at
    // least.
    const int u = area.width() / 8;
    for (int t = -4; t <= 4; t += 2) {
        const int x = area.left() + (t + 4) * u;
        QCOMPARE(image.pixelColor(x, area.bottom() + 3), kText);
        QVERIFY2(painted(image, QRect(x - 3, area.bottom() + 7, 7, 12)),
                 qPrintable(QString::number(t)));
    }
    // The bars of the histogram moved with the axes: class 8 (0 to 0.5) holds 2 of 5 values and
    // reaches 1/5 of the height.
    const int top = area.top() + area.height() / 5;
    QCOMPARE(image.pixelColor(area.left() + 4 * u + u / 4, top + 3), QColor(Qt::blue));
    QVERIFY(isBackground(image, area.left() + 4 * u + u / 4, top - 3));
    // Shares on the vertical axis: 50 % at the top, 0 at the bottom, ticks left of the axis.
    QCOMPARE(image.pixelColor(area.left() - 3, area.top()), kText);
    QCOMPARE(image.pixelColor(area.left() - 3, area.top() + area.height()), kText);
    // The axes' titles, below and on the left.
    QVERIFY(painted(
        image, QRect(area.center().x() - 20, area.bottom() + 20, 40, 260 - area.bottom() - 22)));
    QVERIFY(painted(image, QRect(2, area.center().y() - 20, 10, 40)));

    // The critical value at -1.96 and 1.96, over the whole height, bars included.
    for (double c : {-1.96, 1.96}) {
        const int x = area.left() + int(std::floor((c + 4.0) * u));
        for (int y : {area.top() + 20, area.top() + area.height() - 5})
            QCOMPARE(image.pixelColor(x, y), kCritical);
        QVERIFY(
            !colourNear(image.pixelColor(x + 3, area.top() + area.height() / 2), kCritical, 40));
    }
}

void tst_myPlotArea::rankingAxesAndCriticalValue()
{
    myPlotArea plot;
    preparePlot(plot, 420, 260);
    plot.setAxesShown(true);
    plot.setMode(myPlotArea::ModeRanking);
    plot.setData(texts({-4, 3, -2, 1}));
    plot.setCriticalValue(2.5);
    const QImage image = renderWidget(plot);
    const QRect area = plot.plotRect();
    const int h = area.height();
    const double scale = (h - 19) / 4.0; // |w| = 4 reaches the height less 19 pixels
    const double barWidth = area.width() / 4.0;

    // |w| = 0 to 4 on the vertical axis, at the bars' scale.
    for (int v = 0; v <= 4; ++v) {
        const int y = area.top() + int(std::floor(h - v * scale));
        QCOMPARE(image.pixelColor(area.left() - 3, y), kText);
        QVERIFY2(painted(image, QRect(area.left() - 20, y - 3, 12, 7)),
                 qPrintable(QString::number(v)));
    }
    // Ranks 1 to 4 under the middles of their bars.
    for (int rank = 1; rank <= 4; ++rank) {
        const int x = area.left() + int(std::floor((rank - 0.5) * barWidth));
        QCOMPARE(image.pixelColor(x, area.bottom() + 3), kText);
        QVERIFY(painted(image, QRect(x - 3, area.bottom() + 7, 7, 12)));
    }
    // The line at |w| = 2.5 crosses the bars of ranks 1 and 2 and passes over those of 3 and 4.
    const int y = area.top() + int(std::floor(h - 2.5 * scale));
    for (int rank = 1; rank <= 4; ++rank) {
        const int x = area.left() + int(std::floor((rank - 0.5) * barWidth));
        QCOMPARE(image.pixelColor(x, y), kCritical);
        QVERIFY(!colourNear(image.pixelColor(x, y + 3), kCritical, 40));
    }
    QCOMPARE(image.pixelColor(area.left() + int(1.5 * barWidth), y + 3), QColor(Qt::red));
    QVERIFY(isBackground(image, area.left() + int(3.5 * barWidth), y + 3));
}

QTEST_MAIN(tst_myPlotArea)
#include "tst_myplotarea.moc"
