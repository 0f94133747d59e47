#include "doubleslider.h"
#include "widgetimage.h"

#include <QtTest>

namespace {

constexpr float kGap = 1.0f / 255.0f;
// The track and handle outline colour, RGB (75, 130, 89), blended by antialiasing with the
// black background or the white handle body: green stays the strongest channel.
bool greenish(const QColor &colour)
{
    return colour.green() > colour.red() + 10 && colour.green() > colour.blue() + 10;
}

// A slider 200 pixels wide (track from 0 to 200 without margins) holding `low` and `high`.
void prepare(DoubleSlider &slider, float low, float high)
{
    slider.resize(200, DoubleSlider::kHeight);
    slider.setMaxValue(high);
    slider.setMinValue(low);
    QCOMPARE(slider.minValue(), low);
    QCOMPARE(slider.maxValue(), high);
}

} // namespace

class tst_DoubleSlider : public QObject
{
    Q_OBJECT

private slots:
    void initialState();
    void valueRules_data();
    void valueRules();
    void sameValueChangesNothing();
    void setValuesOrdersThem();
    void fraction_data();
    void fraction();
    void leftPress_data();
    void leftPress();
    void rightDrag();
    void otherButtonKeepsDrag();
    void moveWithoutButtonIgnored();
    void handlePosition_data();
    void handlePosition();
    void painting();
    void paintingWithMargins();
};

void tst_DoubleSlider::initialState()
{
    DoubleSlider slider;
    QCOMPARE(slider.minValue(), 0.0f);
    QCOMPARE(slider.maxValue(), 1.0f);
    QCOMPARE(slider.minimumGap(), kGap);
    QCOMPARE(slider.sliderWidth(), 5);
    QCOMPARE(slider.height(), 20);
}

void tst_DoubleSlider::valueRules_data()
{
    QTest::addColumn<bool>("setLow");
    QTest::addColumn<float>("value");
    QTest::addColumn<float>("expectedMin");
    QTest::addColumn<float>("expectedMax");

    // All from min 0.2 and max 0.5.
    QTest::newRow("low within range") << true << 0.4f << 0.4f << 0.5f;
    QTest::newRow("low pushes high") << true << 0.6f << 0.6f << 0.6f + kGap;
    QTest::newRow("low at 1") << true << 1.0f << 1.0f - kGap << 1.0f;
    QTest::newRow("low past 1") << true << 3.0f << 1.0f - kGap << 1.0f;
    QTest::newRow("low below 0") << true << -0.5f << 0.0f << 0.5f;
    QTest::newRow("low onto high") << true << 0.5f << 0.5f << 0.5f + kGap;
    QTest::newRow("high within range") << false << 0.3f << 0.2f << 0.3f;
    QTest::newRow("high pushes low") << false << 0.1f << 0.1f - kGap << 0.1f;
    QTest::newRow("high at -1") << false << -1.0f << 0.0f << kGap;
    QTest::newRow("high past 1") << false << 2.0f << 0.2f << 1.0f;
    QTest::newRow("high onto low") << false << 0.2f << 0.2f - kGap << 0.2f;
}

void tst_DoubleSlider::valueRules()
{
    QFETCH(bool, setLow);
    QFETCH(float, value);
    QFETCH(float, expectedMin);
    QFETCH(float, expectedMax);

    DoubleSlider slider;
    prepare(slider, 0.2f, 0.5f);
    QSignalSpy changes(&slider, &DoubleSlider::valuesChanged);
    if (setLow)
        slider.setMinValue(value);
    else
        slider.setMaxValue(value);
    QCOMPARE(slider.minValue(), expectedMin);
    QCOMPARE(slider.maxValue(), expectedMax);
    QVERIFY(slider.maxValue() - slider.minValue() >= kGap * 0.999f);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first().at(0).toFloat(), expectedMin);
    QCOMPARE(changes.first().at(1).toFloat(), expectedMax);
}

void tst_DoubleSlider::sameValueChangesNothing()
{
    DoubleSlider slider;
    prepare(slider, 0.2f, 0.5f);
    QSignalSpy changes(&slider, &DoubleSlider::valuesChanged);
    slider.setMinValue(0.2f);
    slider.setMaxValue(0.5f);
    slider.setValues(0.5f, 0.2f);
    slider.setMinValue(qQNaN());
    QCOMPARE(changes.count(), 0);
    QCOMPARE(slider.minValue(), 0.2f);
    QCOMPARE(slider.maxValue(), 0.5f);
}

void tst_DoubleSlider::setValuesOrdersThem()
{
    DoubleSlider slider;
    QSignalSpy changes(&slider, &DoubleSlider::valuesChanged);
    slider.setValues(0.7f, 0.1f);
    QCOMPARE(slider.minValue(), 0.1f);
    QCOMPARE(slider.maxValue(), 0.7f);
    QCOMPARE(changes.count(), 2);
    // The low value goes first.
    QCOMPARE(changes.at(0).at(0).toFloat(), 0.1f);
    QCOMPARE(changes.at(0).at(1).toFloat(), 1.0f);
}

void tst_DoubleSlider::fraction_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("x");
    QTest::addColumn<double>("expected");

    QTest::newRow("left end") << 200 << 0 << 0 << 0 << 0.0;
    QTest::newRow("right end") << 200 << 0 << 0 << 200 << 1.0;
    QTest::newRow("left margin") << 240 << 10 << 30 << 10 << 0.0;
    QTest::newRow("right margin") << 240 << 10 << 30 << 210 << 1.0;
    QTest::newRow("inside margins") << 240 << 10 << 30 << 60 << 0.25;
    QTest::newRow("before the track") << 240 << 10 << 30 << 0 << -0.05;
    QTest::newRow("no track") << 20 << 10 << 10 << 15 << 5.0;
}

void tst_DoubleSlider::fraction()
{
    QFETCH(int, width);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, x);
    QFETCH(double, expected);

    DoubleSlider slider;
    slider.resize(width, DoubleSlider::kHeight);
    slider.setMargins(left, right);
    QCOMPARE(slider.fractionAt(x), expected);
}

void tst_DoubleSlider::leftPress_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<float>("expectedMin");
    QTest::addColumn<float>("expectedMax");

    // From min 0.25 and max 0.75 on 200 pixels (handles at x = 50 and 150).
    QTest::newRow("halfway drags the high handle") << 100 << 0.25f << 0.5f;
    QTest::newRow("nearer the low handle") << 99 << 0.495f << 0.75f;
    QTest::newRow("left of both") << 20 << 0.1f << 0.75f;
    QTest::newRow("right of both") << 190 << 0.25f << 0.95f;
    QTest::newRow("outside the track is not clamped") << 0 << 0.0f << 0.75f;
}

void tst_DoubleSlider::leftPress()
{
    QFETCH(int, x);
    QFETCH(float, expectedMin);
    QFETCH(float, expectedMax);

    DoubleSlider slider;
    prepare(slider, 0.25f, 0.75f);
    QSignalSpy modes(&slider, &DoubleSlider::toggleInteractionMode);
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
    QCOMPARE(slider.minValue(), expectedMin);
    QCOMPARE(slider.maxValue(), expectedMax);
    QCOMPARE(modes.count(), 1);
    QCOMPARE(modes.first().first().toBool(), true);

    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
    QCOMPARE(modes.count(), 2);
    QCOMPARE(modes.last().first().toBool(), false);
}

void tst_DoubleSlider::rightDrag()
{
    DoubleSlider slider;
    prepare(slider, 0.25f, 0.75f);
    QSignalSpy changes(&slider, &DoubleSlider::valuesChanged);

    // Press at 0.25, then drag right by quarters of the span.
    QTest::mousePress(&slider, Qt::RightButton, Qt::NoModifier, QPoint(50, 10));
    QCOMPARE(slider.minValue(), 0.25f);
    QCOMPARE(slider.maxValue(), 0.75f);
    QCOMPARE(changes.count(), 0);

    const auto moveTo = [&slider](int x) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 10), Qt::NoButton, Qt::RightButton,
                         Qt::NoModifier);
        QApplication::sendEvent(&slider, &move);
    };
    moveTo(100);
    QCOMPARE(slider.minValue(), 0.5f);
    QCOMPARE(slider.maxValue(), 1.0f);
    QVERIFY(changes.count() >= 1);
    QCOMPARE(changes.last().at(0).toFloat(), 0.5f);
    QCOMPARE(changes.last().at(1).toFloat(), 1.0f);

    // The high value stays at 1 while the low one goes on.
    moveTo(150);
    QCOMPARE(slider.minValue(), 0.75f);
    QCOMPARE(slider.maxValue(), 1.0f);
    moveTo(200);
    QCOMPARE(slider.minValue(), 1.0f - kGap);
    QCOMPARE(slider.maxValue(), 1.0f);
    // Past the end of the track the position is clamped to 1.
    moveTo(260);
    QCOMPARE(slider.minValue(), 1.0f - kGap);
    QCOMPARE(slider.maxValue(), 1.0f);

    // Back past the start: both move by the distance from the press, each within 0 to 1.
    moveTo(0);
    QCOMPARE(slider.minValue(), 0.0f);
    QCOMPARE(slider.maxValue(), 0.5f);
}

void tst_DoubleSlider::otherButtonKeepsDrag()
{
    DoubleSlider slider;
    prepare(slider, 0.25f, 0.75f);
    // A left press near the low handle, then a middle press: the low handle is still dragged.
    QTest::mousePress(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(40, 10));
    QTest::mouseRelease(&slider, Qt::LeftButton, Qt::NoModifier, QPoint(40, 10));
    QCOMPARE(slider.minValue(), 0.2f);
    QSignalSpy modes(&slider, &DoubleSlider::toggleInteractionMode);
    QTest::mousePress(&slider, Qt::MiddleButton, Qt::NoModifier, QPoint(170, 10));
    QCOMPARE(slider.minValue(), 0.85f);
    QCOMPARE(slider.maxValue(), 0.85f + kGap);
    QCOMPARE(modes.count(), 1);
}

void tst_DoubleSlider::moveWithoutButtonIgnored()
{
    DoubleSlider slider;
    prepare(slider, 0.25f, 0.75f);
    slider.setMouseTracking(true);
    QSignalSpy changes(&slider, &DoubleSlider::valuesChanged);
    QMouseEvent move(QEvent::MouseMove, QPointF(100, 10), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&slider, &move);
    QCOMPARE(changes.count(), 0);
}

void tst_DoubleSlider::handlePosition_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("start") << 200 << 0 << 0 << 0.0f << 0;
    QTest::newRow("end") << 200 << 0 << 0 << 1.0f << 200;
    QTest::newRow("half rounds up") << 201 << 0 << 0 << 0.5f << 101;
    QTest::newRow("below half rounds down") << 201 << 0 << 0 << 0.25f << 50;
    QTest::newRow("margins") << 240 << 10 << 30 << 0.75f << 160;
}

void tst_DoubleSlider::handlePosition()
{
    QFETCH(int, width);
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(float, value);
    QFETCH(int, expected);

    DoubleSlider slider;
    slider.resize(width, DoubleSlider::kHeight);
    slider.setMargins(left, right);
    QCOMPARE(slider.handlePosition(value), expected);
}

void tst_DoubleSlider::painting()
{
    DoubleSlider slider;
    prepare(slider, 0.25f, 0.75f);
    const QImage image = renderWidget(slider, Qt::black);

    // Handles at x = 50 and 150: white bodies from y = 6 to the bottom, pointed tops at y = 0.
    for (int x : {50, 150}) {
        QCOMPARE(image.pixelColor(x, 15), QColor(Qt::white));
        QCOMPARE(image.pixelColor(x - 3, 8), QColor(Qt::white));
        QCOMPARE(image.pixelColor(x + 3, 18), QColor(Qt::white));
        QVERIFY(greenish(image.pixelColor(x - 5, 12)));
        QVERIFY(greenish(image.pixelColor(x + 5, 12)));
        QCOMPARE(image.pixelColor(x - 7, 15), QColor(Qt::black));
        QCOMPARE(image.pixelColor(x + 7, 15), QColor(Qt::black));
        // Beside the point, above the shoulders, nothing is painted.
        QCOMPARE(image.pixelColor(x - 5, 1), QColor(Qt::black));
        QCOMPARE(image.pixelColor(x + 5, 1), QColor(Qt::black));
        QVERIFY(greenish(image.pixelColor(x, 0)));
    }
    // The track runs at y = 10 from one end to the other, between and outside the handles.
    for (int x : {20, 100, 180}) {
        QVERIFY(greenish(image.pixelColor(x, 9)));
        QVERIFY(greenish(image.pixelColor(x, 10)));
        QCOMPARE(image.pixelColor(x, 5), QColor(Qt::black));
        QCOMPARE(image.pixelColor(x, 15), QColor(Qt::black));
    }
}

void tst_DoubleSlider::paintingWithMargins()
{
    DoubleSlider slider;
    slider.resize(240, DoubleSlider::kHeight);
    slider.setMargins(10, 30);
    slider.setSliderWidth(3);
    slider.setValues(0.25f, 0.75f);
    const QImage image = renderWidget(slider, Qt::black);
    // Handles at 60 and 160, 3 pixels either side.
    QCOMPARE(image.pixelColor(60, 15), QColor(Qt::white));
    QCOMPARE(image.pixelColor(160, 15), QColor(Qt::white));
    QCOMPARE(image.pixelColor(65, 15), QColor(Qt::black));
    // No track inside the margins.
    QCOMPARE(image.pixelColor(5, 9), QColor(Qt::black));
    QCOMPARE(image.pixelColor(5, 10), QColor(Qt::black));
    QCOMPARE(image.pixelColor(230, 9), QColor(Qt::black));
    QCOMPARE(image.pixelColor(230, 10), QColor(Qt::black));
    QVERIFY(image.pixelColor(200, 10) != QColor(Qt::black));
}

QTEST_MAIN(tst_DoubleSlider)
#include "tst_doubleslider.moc"
