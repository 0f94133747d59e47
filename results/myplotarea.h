#ifndef MYPLOTAREA_H
#define MYPLOTAREA_H

#include "residualplot.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

#include <limits>

// Draws the residual graphs: the ranking chart of the absolute normalized residuals or their
// histogram with the standard normal density, always inside a frame. With axes shown, the graph
// keeps a margin on the left and at the bottom for its ticks, their values and the axes' titles,
// and is drawn in the rest as it would be on a widget of that size.
class myPlotArea : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ModeNone = 0;
    static constexpr int ModeRanking = 1;
    static constexpr int ModeHistogram = 2;

    explicit myPlotArea(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // 0 nothing, 1 ranking chart, 2 histogram; takes effect at the next repaint.
    void setMode(int mode);
    int mode() const { return m_mode; }

    // Ranks shown by the ranking chart, from 1.
    void setRange(int low, int high);
    double low() const { return m_low; }
    double high() const { return m_high; }

    // The values as decimal texts; the range becomes 1 to their number.
    void setData(const QStringList &data);
    QStringList data() const { return m_data; }

    void setAxesShown(bool shown);
    bool axesShown() const { return m_axesShown; }
    // Where the graph itself is drawn: the whole widget without axes.
    QRect plotRect() const;

    // The critical value of the residual test, drawn as a line at |w| = c on the ranking chart and
    // at w = -c and w = c on the histogram; NaN (or any value not above 0) draws none.
    void setCriticalValue(double value);
    double criticalValue() const { return m_criticalValue; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void draw(QPainter &painter) const;
    void drawCriticalValue(QPainter &painter, int w, int h) const;
    void drawAxes(QPainter &painter, const QRect &area) const;

    QStringList m_data;
    QVector<double> m_values; // m_data read as numbers; a text that is not a number counts as 0
    int m_mode = ModeNone;
    double m_low = 0.0;
    double m_high = 1.0;
    bool m_axesShown = false;
    double m_criticalValue = std::numeric_limits<double>::quiet_NaN();
};

#endif // MYPLOTAREA_H
