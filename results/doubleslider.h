#ifndef DOUBLESLIDER_H
#define DOUBLESLIDER_H

#include <QPolygon>
#include <QWidget>

// A horizontal range slider with two handles holding a low and a high value between 0 and 1,
// never closer than the minimum gap. The left button drags the nearer handle, the right button
// shifts both.
class DoubleSlider : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kHeight = 20; // pixels

    explicit DoubleSlider(QWidget *parent = nullptr);

    float minValue() const { return m_min; }
    float maxValue() const { return m_max; }
    float minimumGap() const { return m_gap; }
    int sliderWidth() const { return m_handleHalfWidth; }

    // Pixels kept free at each end of the track.
    void setMargins(int left, int right);
    void setMinimumGap(float gap);

    // Position of `x` (pixels from the left edge) along the track: 0 at the left margin, 1 at the
    // right one; not clamped.
    double fractionAt(int x) const;
    // Centre x of a handle showing `value` (0 to 1), rounded half up.
    int handlePosition(float value) const;
    // Outline of a handle centred on `x`: a pointed top over a rectangle down to the bottom edge.
    QPolygon handleShape(int x) const;

public slots:
    // Each applies the value only when it differs from the current one.
    void setMinValue(float value);
    void setMaxValue(float value);
    // The smaller becomes the low value, the other the high value (low first).
    void setValues(float a, float b);
    // Half width of a handle, pixels.
    void setSliderWidth(int sliderW);

signals:
    void valuesChanged(float min, float max);
    // true at every mouse press, false at every release.
    void toggleInteractionMode(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void applyMin(float value);
    void applyMax(float value);
    void applyMove(float f);
    void draw(QPainter &painter) const;

    float m_min = 0.0f;
    float m_max = 1.0f;
    float m_gap = 1.0f / 255.0f;
    int m_handleHalfWidth = 5;
    int m_leftMargin = 0;
    int m_rightMargin = 0;
    bool m_dragMin = false;
    bool m_dragMax = false;
    float m_pressPos = 0.0f;
    float m_pressMin = 0.0f;
    float m_pressMax = 1.0f;
};

#endif // DOUBLESLIDER_H
