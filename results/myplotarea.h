#ifndef MYPLOTAREA_H
#define MYPLOTAREA_H

#include "residualplot.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

// Draws the residual graphs: the ranking chart of the absolute normalized residuals or their
// histogram with the standard normal density, always inside a frame.
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

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void draw(QPainter &painter) const;

    QStringList m_data;
    QVector<double> m_values; // m_data read as numbers; a text that is not a number counts as 0
    int m_mode = ModeNone;
    double m_low = 0.0;
    double m_high = 1.0;
};

#endif // MYPLOTAREA_H
